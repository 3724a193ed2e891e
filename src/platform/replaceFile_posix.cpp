#include "replaceFile.h"

#include "caseLookup_posix.h"
#include "fileSystem_posix.h"

#include <fcntl.h>

#include <cerrno>
#include <map>
#include <optional>

// Whole-file replacement: a new file beside the target, filled and flushed, then renamed over
// it, and the rename flushed.

namespace {

// A target as found on disk: its folder and name (the on-disk spelling of an existing one,
// the written one for a new one), and what stands there now.
struct Target {
    CaseLookup::Place place;
    bool exists = false;
    struct stat info {};

    std::string path() const { return place.path(); }
};

// Finds the target's folder and name through the lookup; an error when its folder is missing
// or cannot be searched.
FileError findTarget(CaseLookup& lookup, const std::string& path, Target& target)
{
    target.exists = ::lstat(path.c_str(), &target.info) == 0;
    const int error = target.exists ? 0 : errno;
    if (target.exists || (error != ENOENT && error != ENOTDIR)) {
        target.place = CaseLookup::asWritten(path);
        return target.exists || error == ENOENT ? FileError::None : fileErrorOf(error);
    }
    if (!lookup.place(path, target.place))
        return FileError::FolderMissing;
    target.exists = ::lstat(target.path().c_str(), &target.info) == 0;
    return target.exists || errno == ENOENT ? FileError::None : fileErrorOf(errno);
}

// The new file beside the target.
std::string newFileOf(const Target& target)
{
    return target.path() + kNewFileSuffix;
}

// Whether the target may be replaced. A regular file only when the user may write it: the
// rename asks only the folder, so a read-only, immutable or other user's file is refused here,
// as writing into it would have been. A symbolic link is replaced itself (nothing is written
// where it points). Anything else (a folder, FIFO, device) is refused.
FileError mayReplace(const Target& target)
{
    if (!target.exists || S_ISLNK(target.info.st_mode))
        return FileError::None;
    if (!S_ISREG(target.info.st_mode))
        return FileError::NotAFile;
    return ::access(target.path().c_str(), W_OK) == 0 ? FileError::None : fileErrorOf(errno);
}

// Creates the new file beside the target. One left by a killed click is removed first (a click
// holds the click lock, so no other one is filling it): it is never written into, as it might
// be linked elsewhere by now.
Fd createNewFile(const std::string& path)
{
    const int flags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
    Fd file(::open(path.c_str(), flags, 0666));
    if (!file && errno == EEXIST && ::unlink(path.c_str()) == 0)
        file = Fd(::open(path.c_str(), flags, 0666));
    return file;
}

// Gives the new file an existing target's owner (where this process may give it) and
// permission bits. False when the bits could not be set: the replacement would change them.
bool keepOwnerAndPermissions(int fd, const Target& target)
{
    static const uid_t user = ::geteuid();
    static const gid_t group = ::getegid();
    if (target.info.st_uid != user || target.info.st_gid != group) {
        const int ignored = ::fchown(fd, target.info.st_uid, target.info.st_gid);
        (void)ignored;
    }
    return ::fchmod(fd, target.info.st_mode & 07777) == 0;
}

// Whether the new file takes the target's owner and permission bits: an existing regular one.
bool keepsTargetMetadata(const Target& target)
{
    return target.exists && S_ISREG(target.info.st_mode);
}

// Starts writing the file's data out now, without waiting: the disk works on it while the
// next files are copied, and its flush later finds little left to do.
void startWriteBack(int fd)
{
#ifdef __linux__
    ::sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WRITE);
#else
    (void)fd;
#endif
}

// The replacements of one batch, in three rounds: each new file is filled and its write-back
// started at once; then each is flushed and renamed over its target; then each folder renamed
// into is flushed, which makes the new names durable. A step counts as done only then, so a
// power cut before the end leaves every file old or new whole, and none empty.
class Replacements {
public:
    explicit Replacements(size_t steps) : results_(steps, FileError::ReadWriteError) {}

    // A step that ends before its new file is filled: failed, or nothing to copy.
    void ended(size_t step, FileError result) { results_[step] = result; }

    // True when a new file for this target waits for its rename: one by the same path, or (on a
    // file system that ignores case, where two spellings pass) for the same existing file.
    bool waitingFor(const Target& target) const
    {
        for (const Waiting& each : waiting_) {
            if (each.target.path() == target.path()
                || (target.exists && each.target.exists && sameFile(each.target.info, target.info)))
                return true;
        }
        return false;
    }

    // Takes the step's new file, filled; its rename comes in the next round.
    void filled(size_t step, const Target& target, Fd file)
    {
        if (waiting_.size() >= kMostWaiting)
            renameWaiting();
        startWriteBack(file.get());
        waiting_.push_back({step, target, std::move(file)});
    }

    // Flushes each waiting new file and renames it over its target; one that fails is removed.
    void renameWaiting()
    {
        for (Waiting& each : waiting_) {
            const bool flushed = flush(each);
            const int flushError = errno;
            const bool closed = each.file.close();
            const int closeError = errno;
            const std::string newPath = newFileOf(each.target);
            if (flushed && closed && ::rename(newPath.c_str(), each.target.path().c_str()) == 0) {
                renamedInto_[each.target.place.folder].push_back(each.step);
                continue;
            }
            results_[each.step] = fileErrorOf(!flushed ? flushError : !closed ? closeError : errno);
            ::unlink(newPath.c_str());
        }
        waiting_.clear();
    }

    // Ends the batch: what was renamed is made durable; for each step, why it is not done.
    std::vector<FileError> finish()
    {
        renameWaiting();
        for (const auto& [folder, steps] : renamedInto_) {
            const FileError durable = flushFolder(folder) ? FileError::None : fileErrorOf(errno);
            for (const size_t step : steps)
                results_[step] = durable;
        }
        return results_;
    }

private:
    // Each waiting new file holds a descriptor; a batch stays well below any limit on them.
    static constexpr size_t kMostWaiting = 128;

    struct Waiting {
        size_t step;
        Target target;
        Fd file;
    };

    // A new file given the target's owner and bits needs them on disk with its data.
    static bool flush(const Waiting& each)
    {
        const int fd = each.file.get();
        return (keepsTargetMetadata(each.target) ? ::fsync(fd) : ::fdatasync(fd)) == 0;
    }

    std::vector<Waiting> waiting_;
    std::map<std::string, std::vector<size_t>> renamedInto_; // folder -> steps renamed into it
    std::vector<FileError> results_;
};

// Fills a new file beside the target through `fill` and hands it to the batch's replacements.
// The new file is removed when it cannot be filled.
template <typename Fill>
FileError fillNewFile(Replacements& replacements, size_t step, const Target& target, Fill fill)
{
    const std::string newPath = newFileOf(target);
    Fd file = createNewFile(newPath);
    if (!file)
        return fileErrorOf(errno);
    if (!fill(file.get()) || (keepsTargetMetadata(target) && !keepOwnerAndPermissions(file.get(), target))) {
        const FileError error = fileErrorOf(errno);
        ::unlink(newPath.c_str());
        return error;
    }
    replacements.filled(step, target, std::move(file));
    return FileError::None;
}

// The new file takes its source's modification time, as a copy on Windows does: a file that
// still has its variant's size and time is then known unchanged without reading it. Where the
// time cannot be set, the file is only read once more when it is next compared.
void keepModificationTime(int fd, const struct stat& source)
{
    const struct timespec times[2] = {{0, UTIME_OMIT}, source.st_mtim};
    const int ignored = ::futimens(fd, times);
    (void)ignored;
}

// Finds the step's source and target and fills the target's new file, which then waits for its
// rename; the step's result when it ends here instead.
std::optional<FileError> prepareCopy(CaseLookup& lookup, Replacements& replacements, size_t step, const FilePair& copy)
{
    struct stat sourceInfo;
    errno = 0;
    const Fd from = lookup.openRegular(copy.source, sourceInfo);
    if (!from)
        return errno == EACCES ? FileError::AccessDenied : FileError::SourceMissing;
    Target to;
    if (const FileError error = findTarget(lookup, copy.target, to); error != FileError::None)
        return error;
    if (replacements.waitingFor(to)) {
        // An earlier step of the batch writes the same file: its rename comes first.
        replacements.renameWaiting();
        if (const FileError error = findTarget(lookup, copy.target, to); error != FileError::None)
            return error;
    }
    // A live file that is its source's own file (a hard link) already holds its bytes.
    if (to.exists && sameFile(sourceInfo, to.info))
        return FileError::None;
    if (const FileError error = mayReplace(to); error != FileError::None)
        return error;
    const FileError filled = fillNewFile(replacements, step, to, [&](int fd) {
        if (!copyContent(from.get(), fd))
            return false;
        keepModificationTime(fd, sourceInfo);
        return true;
    });
    if (filled != FileError::None)
        return filled;
    if (!to.exists)
        lookup.created(to.place);
    return std::nullopt;
}

} // namespace

std::vector<FileError> copyFilesReplacing(const std::vector<FilePair>& copies)
{
    CaseLookup lookup;
    Replacements replacements(copies.size());
    for (size_t step = 0; step < copies.size(); ++step) {
        if (const std::optional<FileError> ended = prepareCopy(lookup, replacements, step, copies[step]))
            replacements.ended(step, *ended);
    }
    return replacements.finish();
}

FileError writeFileReplacing(const char* path, const char* bytes, size_t size)
{
    CaseLookup lookup;
    Target target;
    if (const FileError error = findTarget(lookup, path, target); error != FileError::None)
        return error;
    if (const FileError error = mayReplace(target); error != FileError::None)
        return error;
    Replacements replacement(1);
    const FileError filled = fillNewFile(replacement, 0, target, [&](int fd) { return writeBytes(fd, bytes, size); });
    return filled != FileError::None ? filled : replacement.finish().front();
}
