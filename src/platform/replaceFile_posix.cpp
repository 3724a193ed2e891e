#include "replaceFile.h"

#include "caseLookup_posix.h"

#include <fcntl.h>

#include <cerrno>
#include <map>

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

// Finds the target's folder and name, through the lookup when there is one and else exactly
// as written; false when its folder is missing.
bool findTarget(CaseLookup* lookup, const std::string& path, Target& target)
{
    target.exists = ::lstat(path.c_str(), &target.info) == 0;
    const int error = target.exists ? 0 : errno;
    if (target.exists || lookup == nullptr || (error != ENOENT && error != ENOTDIR)) {
        target.place = CaseLookup::asWritten(path);
        return target.exists || error == ENOENT;
    }
    if (!lookup->place(path, target.place))
        return false;
    target.exists = ::lstat(target.path().c_str(), &target.info) == 0;
    return target.exists || errno == ENOENT;
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
bool mayReplace(const Target& target)
{
    if (!target.exists || S_ISLNK(target.info.st_mode))
        return true;
    return S_ISREG(target.info.st_mode) && ::access(target.path().c_str(), W_OK) == 0;
}

// Writes all the bytes. A write that takes none of a non-empty rest would never end the loop,
// so it fails the copy like an error.
bool writeBytes(int to, const char* bytes, size_t size)
{
    while (size > 0) {
        const ssize_t put = ::write(to, bytes, size);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return false;
        bytes += put;
        size -= static_cast<size_t>(put);
    }
    return true;
}

// Plain read/write through a fixed buffer, for file systems without an in-kernel copy.
bool copyThroughBuffer(int from, int to)
{
    char buffer[128 * 1024];
    for (;;) {
        const ssize_t got = ::read(from, buffer, sizeof buffer);
        if (got == 0)
            return true;
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (!writeBytes(to, buffer, static_cast<size_t>(got)))
            return false;
    }
}

// Copies from the current offsets to the end of `from`, in the kernel where it can.
bool copyContent(int from, int to)
{
#ifdef __linux__
    for (;;) {
        const ssize_t copied = ::copy_file_range(from, nullptr, to, nullptr, 1 << 30, 0);
        if (copied == 0)
            return true;
        if (copied > 0)
            continue;
        if (errno == EINTR)
            continue;
        // Both offsets have moved only by what was copied, so the fallback carries on from there.
        if (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP)
            break;
        return false;
    }
#endif
    return copyThroughBuffer(from, to);
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

// Makes the entries of a folder durable: the renames into it. A file system that cannot flush
// one folder is flushed whole.
bool flushFolder(const std::string& folder)
{
    const Fd entries(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!entries)
        return false;
    if (::fsync(entries.get()) == 0)
        return true;
#ifdef __linux__
    return errno == EINVAL && ::syncfs(entries.get()) == 0;
#else
    return false;
#endif
}

// The replacements of one batch, in three rounds: each new file is filled and its write-back
// started at once; then each is flushed and renamed over its target; then each folder renamed
// into is flushed, which makes the new names durable. A step counts as done only then, so a
// power cut before the end leaves every file old or new whole, and none empty.
class Replacements {
public:
    explicit Replacements(size_t steps) : done_(steps, false) {}

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
            const bool closed = each.file.close();
            const std::string newPath = newFileOf(each.target);
            if (flushed && closed && ::rename(newPath.c_str(), each.target.path().c_str()) == 0)
                renamedInto_[each.target.place.folder].push_back(each.step);
            else
                ::unlink(newPath.c_str());
        }
        waiting_.clear();
    }

    // Ends the batch: what was renamed is made durable; for each step, whether it is done.
    std::vector<bool> finish()
    {
        renameWaiting();
        for (const auto& [folder, steps] : renamedInto_) {
            const bool durable = flushFolder(folder);
            for (const size_t step : steps)
                done_[step] = durable;
        }
        return done_;
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
    std::vector<bool> done_;
};

// Fills a new file beside the target through `fill` and hands it to the batch's replacements.
// The new file is removed when it cannot be filled.
template <typename Fill>
bool fillNewFile(Replacements& replacements, size_t step, const Target& target, Fill fill)
{
    const std::string newPath = newFileOf(target);
    Fd file = createNewFile(newPath);
    if (!file)
        return false;
    if (!fill(file.get())) {
        ::unlink(newPath.c_str());
        return false;
    }
    if (keepsTargetMetadata(target) && !keepOwnerAndPermissions(file.get(), target)) {
        ::unlink(newPath.c_str());
        return false;
    }
    replacements.filled(step, target, std::move(file));
    return true;
}

// Finds the step's source and target and fills the target's new file; a step that fails
// here never reaches the replacements, and so stays undone.
void prepareCopy(CaseLookup& lookup, Replacements& replacements, size_t step, const FilePair& copy)
{
    struct stat sourceInfo;
    const Fd from = lookup.openRegular(copy.source, sourceInfo);
    Target to;
    if (!from || !findTarget(&lookup, copy.target, to))
        return;
    if (replacements.waitingFor(to)) {
        // An earlier step of the batch writes the same file: its rename comes first.
        replacements.renameWaiting();
        if (!findTarget(&lookup, copy.target, to))
            return;
    }
    if (!mayReplace(to) || (to.exists && sameFile(sourceInfo, to.info)))
        return;
    if (fillNewFile(replacements, step, to, [&](int fd) { return copyContent(from.get(), fd); }) && !to.exists)
        lookup.created(to.place);
}

} // namespace

std::vector<bool> copyFilesReplacing(const std::vector<FilePair>& copies)
{
    CaseLookup lookup;
    Replacements replacements(copies.size());
    for (size_t step = 0; step < copies.size(); ++step)
        prepareCopy(lookup, replacements, step, copies[step]);
    return replacements.finish();
}

bool writeFileReplacing(const char* path, const char* bytes, size_t size)
{
    Target target;
    if (!findTarget(nullptr, path, target) || !mayReplace(target))
        return false;
    Replacements replacement(1);
    return fillNewFile(replacement, 0, target, [&](int fd) { return writeBytes(fd, bytes, size); })
           && replacement.finish().front();
}
