#pragma once

#include "fileBasics_win32.h"
#include "openFolders_win32.h"
#include "replaceFile.h"

#include <memory>
#include <string>
#include <vector>

// New files put in place whole, in rounds: the copies that replace live files, and the kept
// copies of a player's files. Each new file is created beside its final name and filled; then
// all of them are flushed, side by side (the copies' each by the thread that filled it, side
// by side with the others' filling); then each is renamed to its final name through its own
// handle, in the order of their steps, a name that another program holds waited for; then
// each is flushed again, side by side, which writes its rename through as one asked for with
// MOVEFILE_WRITE_THROUGH is. No name can reach the disk before its file's bytes.

// What stands at a path, read once: its attributes, INVALID_FILE_ATTRIBUTES for none.
struct Target {
    std::string path;
    DWORD attributes = INVALID_FILE_ATTRIBUTES;
    bool exists() const { return attributes != INVALID_FILE_ATTRIBUTES; }
};

// Whether the target may be replaced: a missing one in an existing folder, or a file that is
// neither a folder nor read-only (the rename would not ask). Found in its folder's listing
// where the call has read that folder.
FileError examine(Target& target, const OpenFolders& folders);

// The request that renames a file over the target through its handle (FileRenameInfo), by the
// target's full path: a bare name is not taken as one in the new file's folder everywhere.
std::vector<char> renameRequest(const std::string& target);

// One new file beside its target, from its creation to its rename, through one handle that
// may delete it: no other program can hold it against its rename meanwhile, and it is opened
// once (every open is one more that a virus scanner inspects). Deleted unless renamed.
class NewFile {
public:
    explicit NewFile(const Target& target) : target_(target), path_(target.path + kNewFileSuffix) {}
    ~NewFile();
    NewFile(const NewFile&) = delete;
    NewFile& operator=(const NewFile&) = delete;

    HANDLE get() const { return file_.get(); }
    const std::string& targetPath() const { return target_.path; }

    // Creates it with the target's attributes (never read-only). One left by a killed click is
    // removed first (a command holds the click lock, so no other one is filling it): it is
    // never written into, as it might be linked elsewhere by now. Created through its folder
    // where the call holds that open.
    FileError create(const OpenFolders& folders);

    // Flushes its content to disk.
    FileError flush();

    // Renames it over the target; a target that another program holds is waited for.
    FileError rename();

    // All three in turn, for a file on its own: flushed, renamed, and flushed again.
    FileError replaceTarget();

private:
    Target target_;
    std::string path_;
    Handle file_;
    bool renamed_ = false;
};

// The rounds of one command's new files.
class Replacements {
public:
    explicit Replacements(size_t steps) : results_(steps, FileError::None) {}

    // What the step came to before its flush and rename: None once its new file waits for
    // them (or when there was nothing to copy), else why it failed. Told before its rounds run.
    void ended(size_t step, FileError result) { results_[step] = result; }

    // Takes the step's new file, created and filled; its flush and rename come in the next rounds.
    void filled(size_t step, std::unique_ptr<NewFile> file);

    // The same for a new file flushed already.
    void flushed(size_t step, std::unique_ptr<NewFile> file);

    // Puts every waiting new file in place: flushed, renamed in turn, flushed again.
    void renameWaiting();

    // Ends the rounds; for each step, why it is not done, or FileError::None.
    std::vector<FileError> finish();

private:
    struct Waiting {
        size_t step;
        std::unique_ptr<NewFile> file;
        bool flushed; // since its last change
    };

    // Flushes side by side the waiting files not flushed since their last change, of the steps
    // that have not failed.
    void flushWaiting();

    std::vector<Waiting> waiting_;
    std::vector<FileError> results_;
};
