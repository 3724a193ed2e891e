#pragma once

#include "caseLookup_posix.h"
#include "fileError.h"
#include "fileSystem_posix.h"

#include <sys/stat.h>

#include <cstddef>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

// New files put in place whole, in rounds: the copies that replace live files, and the kept
// copies of a player's files. Each new file is filled beside its final name and its flush
// started at once, side by side with the next ones' copies; once all of them are on disk, each
// is renamed to its final name, in the order they were filled; then every folder renamed into
// is flushed, side by side. No name can reach the disk before its file's bytes, so a power cut
// at any moment leaves each file old or new whole.

// A path as found on disk: its folder and name (the on-disk spelling of an existing one, the
// written one for a new one), and what stands there now. The calls at it are made relative to
// its folder where the batch's lookup holds that open (and outlives the rounds).
struct Target {
    CaseLookup::Place place;
    int folderFd = AT_FDCWD;
    bool exists = false;
    struct stat info {};

    std::string path() const { return place.path(); }
    CaseLookup::At at() const { return atEntry(folderFd, place); }
};

class Replacements {
public:
    explicit Replacements(size_t steps) : results_(steps, FileError::ReadWriteError) {}

    // A step that ends before its new file is filled: failed, or nothing to copy.
    void ended(size_t step, FileError result) { results_[step] = result; }

    // True when a new file for this target waits for its rename: one by the same path, or (on a
    // file system that ignores case, where two spellings pass) for the same existing file.
    bool waitingFor(const Target& target) const;

    // Creates the step's new file beside the target and fills it through `fill`; it then waits
    // for its rename. The new file is removed when it cannot be filled.
    FileError fill(size_t step, const Target& target, const std::function<bool(int fd)>& fill);

    // The same, with `fill` run on a thread of the flush pool, side by side with the next steps'
    // work, just before the flush; a fill that fails there fails the step at its rename. `fill`
    // must own what it needs.
    FileError fillAside(size_t step, const Target& target, std::function<bool(int fd)> fill);

    // Waits for the flush of every waiting new file, then renames each over its target in turn;
    // one that fails is removed.
    void renameWaiting();

    // Ends the rounds: what was renamed is made durable; for each step, why it is not done.
    std::vector<FileError> finish();

private:
    struct Waiting {
        size_t step;
        Target target;
        Fd file;
        std::function<bool(int fd)> fill; // empty once filled
        int flushError = 0;               // set by its flush: 0 once it is on disk and closed
    };

    void await(size_t step, const Target& target, Fd file, std::function<bool(int fd)> fill);
    static void complete(Waiting& file);

    std::deque<Waiting> waiting_; // each stays in place while its flush runs
    std::map<std::string, std::vector<size_t>> renamedInto_; // folder -> steps renamed into it
    std::map<std::string, int> folderFds_;                  // folder -> its Target's folderFd
    std::vector<FileError> results_;
    FlushPool flushes_; // ends, waiting for every flush, before what they flush
};
