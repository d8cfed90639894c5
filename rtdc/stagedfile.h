#pragma once

// Files that the program writes for the user: each one goes to a temporary
// file beside its target and takes the target's place only once it is
// complete (StagedFile), and a failure says which step failed and the
// system's reason (FileFailure). Paths are UTF-8 byte strings.

#include <string>
#include <string_view>

namespace Tessary {

// Why a file could not be written: the step that failed and the system's
// reason in its own words ("No space left on device", "File too large").
struct FileFailure
{
    // Replace: the file was written whole but could not take the target's place.
    enum Step { None, Create, Write, Replace };
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

// A new file that replaces its target only once it is complete, as a save
// over the user's file should: the target may be a symbolic link (the link
// stays and the file it leads to, through any chain of links, gets the new
// content; a link to a file that does not exist yet creates that file) and
// the replaced file's permission bits carry over, so a private file stays
// private. A link is followed only where the system would follow it: not one
// that another user made in a shared folder (sticky and writable by all),
// unless that user owns the folder. The content goes to a hidden temporary
// file in the folder of the file finally replaced (so the rename stays on one
// file system and never copies), created empty and, while a file is
// replaced, readable by its owner alone; `commit` syncs it to the disk and
// renames it over that file. Destroyed without a commit, it removes the
// temporary file, so a failed or abandoned save leaves the old file exactly
// as it was. The writer opens the file at `path()` itself and truncates it; a
// folder that cannot hold the file, or a chain of links that never ends,
// makes that open fail with the system's reason.
class StagedFile
{
public:
    // suffix ends the temporary name (".avi" lets a video writer pick its container).
    StagedFile(const std::string& targetPath, const std::string& suffix);
    ~StagedFile();
    StagedFile(const StagedFile&) = delete;
    StagedFile& operator=(const StagedFile&) = delete;

    // Where to write: a new name in the replaced file's folder (ASCII apart from the folder).
    const std::string& path() const { return tempPath; }
    // The path the caller gave, for messages.
    const std::string& targetPath() const { return target; }

    // Gives the temporary file the replaced file's permission bits, syncs it
    // and renames it over that file, then syncs that folder; a replaced file
    // that this process may not write (read-only), or a link the system would
    // not follow, is left alone. On failure the temporary file is removed,
    // the target is untouched and error holds the reason.
    bool commit(std::string& error);
    // Removes the temporary file now; the target is untouched.
    void discard();

private:
    std::string target;
    std::string replaced; // the file at the end of target's links
    std::string tempPath;
    std::string refusal; // why the target may not be replaced at all
    bool done = false;
};

// Writes content as the whole of the file at path through a StagedFile: every
// byte written and flushed before it takes the target's place. A write that
// does not complete (a full disk) or a target that cannot be replaced leaves
// the old file as it was and no temporary file; false then, with the step
// that failed and the system's reason in *failure.
bool replaceFileContent(const std::string& path, std::string_view content, FileFailure* failure = nullptr);

} // namespace Tessary
