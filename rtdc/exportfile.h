#pragma once

#include <string>

namespace Tessary {

// Why a file could not be written: the step that failed and the system's
// reason in its own words ("No space left on device", "File too large").
struct FileFailure
{
    enum Step { None, Create, Write, Rename };
    Step step = None;
    std::string reason;

    bool failed() const { return step != None; }
};

// The system's words for an errno value; for 0 (a failure that set none) a
// plain statement that it gave none.
std::string systemErrorText(int error);

// The system's reason why the file at path takes no more bytes, learnt by
// appending a block to it: for writers that do not pass the reason on (the
// video back end); a missing file is created, so a file the writer could not
// create gives the reason too. Empty when the block was written (the file is
// then longer: only for a file about to be discarded) or no reason was given.
std::string appendFailureReason(const std::string& path);

// A new file that replaces its target only once it is complete. The content
// goes to a hidden temporary file in the target's folder (so the final rename
// stays on one file system and never copies); `commit` renames it over the
// target. Destroyed without a commit, it removes the temporary file, so a
// failed or abandoned export leaves an existing target exactly as it was.
// Paths are UTF-8 byte strings. Creates nothing itself: the writer creates
// the file at `path()`.
class StagedFile
{
public:
    // suffix ends the temporary name (".avi" lets a video writer pick its container).
    StagedFile(const std::string& targetPath, const std::string& suffix);
    ~StagedFile();
    StagedFile(const StagedFile&) = delete;
    StagedFile& operator=(const StagedFile&) = delete;

    // Where to write: a free name in the target's folder (ASCII apart from the folder).
    const std::string& path() const { return tempPath; }
    const std::string& targetPath() const { return target; }

    // Renames the temporary file over the target (replacing it). On failure
    // the temporary file is removed, the target is untouched and error holds
    // the reason.
    bool commit(std::string& error);
    // Removes the temporary file now; the target is untouched.
    void discard();

private:
    std::string target;
    std::string tempPath;
    bool done = false;
};

// Today's local date as "%Y-%m-%d", the date that exports record.
std::string exportDateText();

// The record that every export states of itself. A source's copy of these
// keys describes an earlier export and is replaced, never repeated.
extern const char* const exportDateKey;
extern const char* const exportEventCountKey;
extern const char* const exportChangedNameKey;
bool isExportRecordKey(const std::string& name);

// printf's "%f" (six decimals, fixed notation) but independent of the C
// locale (the GUI runs in the user's), so a decimal comma never reaches a
// file or a metadata value.
std::string formatFixedSix(double value);
// The same text for a bound of a recorded range: the six-decimal number
// nearest to value on the side that keeps value inside the range, so that
// the text, read back, is at most value (a minimum) or at least value (a
// maximum). A value that six decimals already give (1.5, or 0.1 as read back)
// keeps its nearest text. Infinite and NaN values are written as by formatFixedSix.
std::string formatFixedSixAtMost(double value);
std::string formatFixedSixAtLeast(double value);

} // namespace Tessary
