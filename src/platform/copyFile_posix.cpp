#include "copyFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

// On a file system that tells letter case apart, each path component is looked up as written
// first, and only when that fails by comparing the folder's entries ignoring ASCII case. The
// result is a path spelt as on disk, opened like any other path (as the Windows copy does
// with the path it is given): one system call per folder on the way, where walking with
// descriptors would take three.

namespace {

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

std::string lowered(const std::string& name)
{
    std::string out = name;
    for (char& c : out)
        c = asciiLower(c);
    return out;
}

// The entries of one folder, as last read, for lookups that ignore letter case: a batch
// looks into the same few folders hundreds of times, and reading a folder costs far more
// than a copy of a small file.
//
// A listing is used only while the folder's change time (and modification time) are those
// seen before it was read: adding, removing or renaming an entry changes them, so a changed
// folder is read again. Time stamps are coarse, though: a change made within the same tick as
// the reading, or within a file system's granularity (two seconds at worst), could leave
// them as they were. So a listing is kept only for a folder whose last change lies more
// than that before the reading began; a folder that changed just now is read afresh at every
// lookup until it has settled.
struct Listing {
    timespec changed{};
    timespec modified{};
    std::unordered_set<std::string> names;
    // Lower-cased name -> the bytewise smallest entry that folds to it.
    std::unordered_map<std::string, std::string> smallest;
};

struct FolderKey {
    dev_t device;
    ino_t inode;
    bool operator==(const FolderKey& other) const { return device == other.device && inode == other.inode; }
};

struct FolderKeyHash {
    size_t operator()(const FolderKey& key) const
    {
        return std::hash<unsigned long long>()(static_cast<unsigned long long>(key.inode) * 31u
                                               + static_cast<unsigned long long>(key.device));
    }
};

constexpr time_t kSettleSeconds = 2;
constexpr size_t kMostListings = 256;

std::unordered_map<FolderKey, Listing, FolderKeyHash> listings;

bool sameTime(const timespec& a, const timespec& b)
{
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

bool settledBefore(const timespec& stamp, const timespec& now)
{
    return stamp.tv_sec + kSettleSeconds < now.tv_sec;
}

// Reads the folder's entries; false when it cannot be read.
bool readListing(const std::string& folder, Listing& listing)
{
    DIR* entries = ::opendir(folder.c_str());
    if (entries == nullptr)
        return false;
    while (const dirent* entry = ::readdir(entries)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        listing.names.insert(name);
        std::string& best = listing.smallest[lowered(name)];
        if (best.empty() || name < best)
            best = name;
    }
    ::closedir(entries);
    return true;
}

// The listing of the folder: the kept one while the folder is unchanged, else read anew.
// Null when the folder cannot be read.
const Listing* listingOf(const std::string& folder, Listing& scratch)
{
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    struct stat info;
    if (::stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
        return nullptr;
    const FolderKey key{info.st_dev, info.st_ino};
    const auto kept = listings.find(key);
    if (kept != listings.end()) {
        if (sameTime(kept->second.changed, info.st_ctim) && sameTime(kept->second.modified, info.st_mtim))
            return &kept->second;
        listings.erase(kept);
    }
    scratch = Listing{};
    scratch.changed = info.st_ctim;
    scratch.modified = info.st_mtim;
    if (!readListing(folder, scratch))
        return nullptr;
    if (!settledBefore(info.st_ctim, now) || !settledBefore(info.st_mtim, now))
        return &scratch;
    if (listings.size() >= kMostListings)
        listings.clear();
    return &listings.emplace(key, std::move(scratch)).first->second;
}

std::string joined(const std::string& folder, const std::string& name)
{
    return folder == "/" ? folder + name : folder + "/" + name;
}

// The name under which `name` exists in the folder: itself when it exists as written,
// otherwise the entry equal to it ignoring ASCII case (the bytewise smallest, when several
// are), otherwise empty.
std::string findEntry(const std::string& folder, const std::string& name)
{
    if (name == "." || name == "..")
        return name;
    Listing scratch;
    const Listing* listing = listingOf(folder, scratch);
    if (listing == nullptr) {
        // A folder that may be passed through but not read: only the name as written.
        struct stat info;
        return ::lstat(joined(folder, name).c_str(), &info) == 0 ? name : std::string();
    }
    if (listing->names.count(name) != 0)
        return name;
    const auto found = listing->smallest.find(lowered(name));
    return found == listing->smallest.end() ? std::string() : found->second;
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

// Where a path's last component lives: its folder as spelt on disk, and the name as written.
struct Location {
    std::string folder;
    std::string name;
};

// Finds every folder of the path regardless of letter case; false when one is missing.
bool locate(const char* path, Location& location)
{
    const std::vector<std::string> components = splitPath(path);
    if (components.empty())
        return false;
    std::string folder = path[0] == '/' ? "/" : ".";
    for (size_t i = 0; i + 1 < components.size(); ++i) {
        const std::string entry = findEntry(folder, components[i]);
        if (entry.empty())
            return false;
        folder = joined(folder, entry);
    }
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
    const std::string entry = findEntry(location.folder, location.name);
    if (entry.empty() && (flags & O_CREAT) == 0)
        return Fd();
    const std::string& name = entry.empty() ? location.name : entry;
    return Fd(::open(joined(location.folder, name).c_str(), flags, 0666));
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

namespace {

// Reads until the buffer is full or the file ends; -1 on a read error.
ssize_t readFully(int fd, char* buffer, size_t size)
{
    size_t done = 0;
    while (done < size) {
        const ssize_t got = ::read(fd, buffer + done, size - done);
        if (got == 0)
            break;
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        done += static_cast<size_t>(got);
    }
    return static_cast<ssize_t>(done);
}

bool sameBytes(int a, int b)
{
    constexpr size_t kChunk = 64 * 1024;
    char left[kChunk];
    char right[kChunk];
    for (;;) {
        const ssize_t gotLeft = readFully(a, left, kChunk);
        const ssize_t gotRight = readFully(b, right, kChunk);
        if (gotLeft < 0 || gotRight < 0 || gotLeft != gotRight)
            return false;
        if (gotLeft == 0)
            return true;
        if (std::memcmp(left, right, static_cast<size_t>(gotLeft)) != 0)
            return false;
    }
}

} // namespace

FileComparison compareFiles(const char* source, const char* target)
{
    Fd from = openSource(source);
    struct stat sourceInfo;
    if (!from || !isRegularFile(from.get(), sourceInfo))
        return FileComparison::SourceMissing;
    Fd to = openSource(target); // only read, like a source
    // A target that is there but may not be read cannot be told equal.
    if (!to)
        return errno == EACCES ? FileComparison::Different : FileComparison::TargetMissing;
    struct stat targetInfo;
    if (!isRegularFile(to.get(), targetInfo))
        return FileComparison::TargetMissing;
    if (sourceInfo.st_size != targetInfo.st_size)
        return FileComparison::Different;
    return sameBytes(from.get(), to.get()) ? FileComparison::Same : FileComparison::Different;
}
