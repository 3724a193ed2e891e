#include "caseLookup_posix.h"
#include "copyFile.h"

#include <fcntl.h>

#include <cerrno>

// Whole-file replacement: a new file beside the target, filled, then renamed over it.

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
        for (ssize_t done = 0; done < got;) {
            const ssize_t put = ::write(to, buffer + done, static_cast<size_t>(got - done));
            if (put < 0 && errno != EINTR)
                return false;
            if (put > 0)
                done += put;
        }
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

bool writeBytes(int to, const char* bytes, size_t size)
{
    while (size > 0) {
        const ssize_t put = ::write(to, bytes, size);
        if (put < 0 && errno != EINTR)
            return false;
        if (put > 0) {
            bytes += put;
            size -= static_cast<size_t>(put);
        }
    }
    return true;
}

// Creates the new file beside the target. One left by a killed process is removed first:
// it is never written into, as it might be linked elsewhere by now.
Fd createNewFile(const std::string& path)
{
    const int flags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
    Fd file(::open(path.c_str(), flags, 0666));
    if (!file && errno == EEXIST && ::unlink(path.c_str()) == 0)
        file = Fd(::open(path.c_str(), flags, 0666));
    return file;
}

// An existing target's owner (where this process may give it) and permission bits.
void keepOwnerAndPermissions(int fd, const Target& target)
{
    if (!target.exists || !S_ISREG(target.info.st_mode))
        return;
    static const uid_t user = ::geteuid();
    static const gid_t group = ::getegid();
    if (target.info.st_uid != user || target.info.st_gid != group) {
        const int ignored = ::fchown(fd, target.info.st_uid, target.info.st_gid);
        (void)ignored;
    }
    ::fchmod(fd, target.info.st_mode & 07777);
}

// Fills a new file beside the target through `fill`, then renames it over the target. The new
// file is removed when any step fails.
template <typename Fill>
bool replace(const Target& target, Fill fill)
{
    const std::string newPath = target.path() + kNewFileSuffix;
    Fd file = createNewFile(newPath);
    if (!file)
        return false;
    const bool filled = fill(file.get());
    keepOwnerAndPermissions(file.get(), target);
    const bool closed = file.close();
    if (filled && closed && ::rename(newPath.c_str(), target.path().c_str()) == 0)
        return true;
    ::unlink(newPath.c_str());
    return false;
}

bool copyOne(CaseLookup& lookup, const FilePair& copy)
{
    struct stat sourceInfo;
    const Fd from = lookup.openRegular(copy.source, sourceInfo);
    if (!from)
        return false;
    Target to;
    if (!findTarget(&lookup, copy.target, to) || !mayReplace(to) || (to.exists && sameFile(sourceInfo, to.info)))
        return false;
    if (!replace(to, [&](int fd) { return copyContent(from.get(), fd); }))
        return false;
    if (!to.exists)
        lookup.created(to.place);
    return true;
}

} // namespace

std::vector<bool> copyFilesReplacing(const std::vector<FilePair>& copies)
{
    CaseLookup lookup;
    std::vector<bool> copied;
    for (const FilePair& copy : copies)
        copied.push_back(copyOne(lookup, copy));
    return copied;
}

bool writeFileReplacing(const char* path, const char* bytes, size_t size)
{
    Target target;
    if (!findTarget(nullptr, path, target) || !mayReplace(target))
        return false;
    return replace(target, [&](int fd) { return writeBytes(fd, bytes, size); });
}
