#pragma once

#include "app/exportmessage.h"
#include "app/exportprogress.h"

#include <string>
#include <vector>

namespace Tessary {

struct DatasetEntry;

// Writes the images of the kept events (in the given order) as an AVI video
// at 25 frames per second: colour MJPEG frames through the video back end
// when mjpeg, else uncompressed grey frames that hold every pixel exactly
// (see RawAviWriter). The image stack's shape fixes the frame size; an event
// whose image cannot be read (the first one too) or is of another size keeps
// its place as a blank frame, and the returned warning names it. skipDuplicateFrames
// keeps one event per camera frame number (the "frame" feature);
// forReanalysis first writes 100 frames of the average kept image. path is
// UTF-8; the video is written beside it under a temporary name and replaces
// it only once it is whole (its RIFF sizes and index hold, see
// aviStructureComplete) and reads back with every frame, e.g. not cut short
// by a full disk, so a failure or a cancel (progress returns false)
// leaves an existing file intact. Images are read one at a time through the
// entry's reader (which takes the HDF5 lock). Returns the message to show;
// empty on success and after a cancel. A failed file operation says its step
// and the system's reason.
ExportMessage writeEventAvi(const DatasetEntry& entry, const std::string& path, const std::vector<int>& indices,
                            bool mjpeg, bool skipDuplicateFrames, bool forReanalysis,
                            const ExportProgressReport& progress = {});

} // namespace Tessary
