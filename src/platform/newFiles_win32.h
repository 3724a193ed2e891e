#pragma once

#include "fileBasics_win32.h"
#include "replaceFile.h"

#include <memory>
#include <string>
#include <vector>

// New files put in place whole, in rounds: the copies that replace live files, and the kept
// copies of a player's files. Each new file is created beside its final name and filled; then
// all of them are flushed, side by side; then each is renamed to its final name through its own
// handle, in the order they were filled, a name that another program holds waited for; then
// each is flushed again, side by side, which writes its rename through as one asked for with
// MOVEFILE_WRITE_THROUGH is. No name can reach the disk before its file's bytes.

// What stands at a path, read once: its attributes, INVALID_FILE_ATTRIBUTES for none.
struct Target {
    std::string path;
    DWORD attributes = INVALID_FILE_ATTRIBUTES;
    bool exists() const { return attributes != INVALID_FILE_ATTRIBUTES; }
};

// Whether the target may be replaced: a missing one in an existing folder, or a file that is
// neither a folder nor read-only (the rename would not ask).
FileError examine(Target& target);

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
    // never written into, as it might be linked elsewhere by now.
    FileError create();

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

    // True when a new file for this path (in any letter case) waits for its rename.
    bool waitingFor(const std::string& path) const;

    // Takes the step's new file, created and filled; its flush and rename come in the next rounds.
    void filled(size_t step, std::unique_ptr<NewFile> file);

    // Puts every waiting new file in place: flushed, renamed in turn, flushed again.
    void renameWaiting();

    // Ends the rounds; for each step, why it is not done, or FileError::None.
    std::vector<FileError> finish();

private:
    struct Waiting {
        size_t step;
        std::unique_ptr<NewFile> file;
    };

    // Runs one round side by side over the waiting files whose steps have not failed.
    void flushWaiting();

    std::vector<Waiting> waiting_;
    std::vector<FileError> results_;
};
