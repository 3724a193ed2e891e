#include "copyFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

// On a file system that tells letter case apart, each path component is looked up as written
// first, and only when that fails by comparing the folder's entries ignoring ASCII case.
// Folders are walked with descriptors, so a folder is found once per path and never by a
// string that another folder's rename could redirect half-way.

namespace {

#ifdef O_PATH
constexpr int kWalkFlags = O_PATH | O_DIRECTORY | O_CLOEXEC;
#else
constexpr int kWalkFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
#endif

// Owns one file descriptor.
class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    Fd(Fd&& other) noexcept : fd_(other.release()) {}
    Fd& operator=(Fd&& other) noexcept
    {
        reset(other.release());
        return *this;
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() { reset(-1); }

    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }

    // Closes now and tells whether the close succeeded (a write error can surface only here).
    bool close() { return ::close(release()) == 0; }

private:
    int release()
    {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    void reset(int fd)
    {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = fd;
    }

    int fd_;
};

char asciiLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool equalIgnoringAsciiCase(const char* a, const char* b)
{
    for (; *a != '\0' && *b != '\0'; ++a, ++b) {
        if (asciiLower(*a) != asciiLower(*b))
            return false;
    }
    return *a == *b;
}

// The name under which `name` exists in the folder: itself when it exists as written,
// otherwise the entry equal to it ignoring ASCII case (the bytewise smallest, when several
// are), otherwise empty.
std::string findEntry(int folder, const std::string& name)
{
    struct stat info;
    if (::fstatat(folder, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0)
        return name;

    const int scanFd = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (scanFd < 0)
        return {};
    DIR* listing = ::fdopendir(scanFd);
    if (listing == nullptr) {
        ::close(scanFd);
        return {};
    }
    std::string best;
    while (const dirent* entry = ::readdir(listing)) {
        if (equalIgnoringAsciiCase(entry->d_name, name.c_str())
            && (best.empty() || std::strcmp(entry->d_name, best.c_str()) < 0))
            best = entry->d_name;
    }
    ::closedir(listing);
    return best;
}

std::vector<std::string> splitPath(const char* path)
{
    std::vector<std::string> components;
    std::string current;
    for (const char* p = path; *p != '\0'; ++p) {
        if (*p == '/') {
            if (!current.empty())
                components.push_back(current);
            current.clear();
        } else {
            current += *p;
        }
    }
    if (!current.empty())
        components.push_back(current);
    return components;
}

// Where a path's last component lives: the open folder that holds it and the name as written.
struct Location {
    Fd folder;
    std::string name;
};

// Walks every folder of the path regardless of letter case; false when one is missing.
bool locate(const char* path, Location& location)
{
    const std::vector<std::string> components = splitPath(path);
    if (components.empty())
        return false;
    Fd folder(::open(path[0] == '/' ? "/" : ".", kWalkFlags));
    for (size_t i = 0; folder && i + 1 < components.size(); ++i) {
        const std::string entry = findEntry(folder.get(), components[i]);
        if (entry.empty())
            return false;
        folder = Fd(::openat(folder.get(), entry.c_str(), kWalkFlags));
    }
    if (!folder)
        return false;
    location.folder = std::move(folder);
    location.name = components.back();
    return true;
}

bool missingOnTheWay(int error)
{
    return error == ENOENT || error == ENOTDIR;
}

// Opens a path with its folders and file found regardless of letter case. When the file
// itself does not exist and flags hold O_CREAT, it is created with the case written in the
// path. The path as written is tried first: it is what nearly every call finds.
Fd openIgnoringCase(const char* path, int flags)
{
    Fd file(::open(path, flags & ~O_CREAT));
    if (file || !missingOnTheWay(errno))
        return file;
    Location location;
    if (!locate(path, location))
        return Fd();
    const std::string entry = findEntry(location.folder.get(), location.name);
    if (entry.empty() && (flags & O_CREAT) == 0)
        return Fd();
    const std::string& name = entry.empty() ? location.name : entry;
    return Fd(::openat(location.folder.get(), name.c_str(), flags, 0666));
}

// O_NONBLOCK keeps a FIFO or device on either side from blocking the open; the caller then
// refuses anything that is not a regular file.
Fd openSource(const char* path)
{
    return openIgnoringCase(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
}

// No truncation yet: nothing of an existing target is lost before the caller has checked it.
Fd openTarget(const char* path)
{
    return openIgnoringCase(path, O_WRONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC);
}

bool isRegularFile(int fd, struct stat& info)
{
    return ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
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

} // namespace

bool copyFileReplacing(const char* source, const char* target)
{
    Fd from = openSource(source);
    struct stat sourceInfo;
    if (!from || !isRegularFile(from.get(), sourceInfo))
        return false;
    Fd to = openTarget(target);
    struct stat targetInfo;
    if (!to || !isRegularFile(to.get(), targetInfo))
        return false;
    // Truncating the source itself would destroy it; the copy fails instead.
    if (sourceInfo.st_dev == targetInfo.st_dev && sourceInfo.st_ino == targetInfo.st_ino)
        return false;
    if (::ftruncate(to.get(), 0) != 0)
        return false;
    const bool copied = copyContent(from.get(), to.get());
    return to.close() && copied;
}

bool fileExists(const char* path)
{
    Fd file = openSource(path);
    struct stat info;
    return file && isRegularFile(file.get(), info);
}
