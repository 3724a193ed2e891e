#include "copyFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <cstdint>
#include <set>
#include <string>
#include <unordered_map>
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

    // Gives up ownership.
    int release()
    {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }

private:
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

// The entries of one folder, for lookups that ignore letter case: a batch looks into the
// same few folders hundreds of times, and reading a folder costs far more than a copy of a
// small file.
//
// A listing is kept only while the kernel reports every change to the folder: an inotify
// watch on it delivers each entry created, removed or renamed (the tool's own new files and
// renames included), and those events are applied to the kept listing before every lookup,
// so it always equals the folder as a fresh reading would. A folder that is deleted or
// unmounted loses its listing; a lost event (queue overflow) drops every listing. Time stamps
// could not do this: the tool's own renames change them at every step, and a change within
// one time-stamp tick would go unseen. Where no watch can be had, or on a file system whose
// changes may come from another machine (which inotify does not see), nothing is kept and the
// folder is read at each lookup.
//
// New files of replacements (named with kNewFileSuffix) are left out of the listings: no name
// that is looked up ends so, and leaving them out keeps a replacement from changing any.
struct Listing {
    // Lower-cased name -> every entry that folds to it, bytewise smallest first.
    std::unordered_map<std::string, std::set<std::string>> byFold;

    // Each tells whether the entries changed.
    bool add(const std::string& name) { return byFold[lowered(name)].insert(name).second; }
    bool remove(const std::string& name)
    {
        const auto folded = byFold.find(lowered(name));
        if (folded == byFold.end() || folded->second.erase(name) == 0)
            return false;
        if (folded->second.empty())
            byFold.erase(folded);
        return true;
    }
};

bool isNewFileName(const std::string& name)
{
    const std::string suffix = kNewFileSuffix;
    return name.size() > suffix.size() && lowered(name.substr(name.size() - suffix.size())) == suffix;
}

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

// Reads the folder's entries from an open descriptor (which it takes); false when it cannot.
bool readListing(int folderFd, Listing& listing)
{
    DIR* entries = ::fdopendir(folderFd);
    if (entries == nullptr) {
        ::close(folderFd);
        return false;
    }
    while (const dirent* entry = ::readdir(entries)) {
        const std::string name = entry->d_name;
        if (name != "." && name != ".." && !isNewFileName(name))
            listing.add(name);
    }
    ::closedir(entries);
    return true;
}

// File systems whose every change is made by this machine, so that inotify sees it.
bool changedOnlyHere(int folderFd)
{
    struct statfs info;
    if (::fstatfs(folderFd, &info) != 0)
        return false;
    switch (static_cast<unsigned long>(info.f_type)) {
    case 0xEF53UL:     // ext2, ext3, ext4
    case 0x58465342UL: // xfs
    case 0x9123683EUL: // btrfs
    case 0x01021994UL: // tmpfs
    case 0xF2F52010UL: // f2fs
    case 0x4D44UL:     // vfat
    case 0x2011BAB0UL: // exfat
    case 0x7366746EUL: // ntfs3
        return true;
    default:
        return false;
    }
}

class KeptListings {
public:
    ~KeptListings() { reset(); }

    // Applies every change reported since the last call to the kept listings.
    void catchUp()
    {
        alignas(inotify_event) char buffer[16 * 1024];
        while (watcher_ >= 0) {
            const ssize_t got = ::read(watcher_, buffer, sizeof buffer);
            if (got <= 0) {
                if (got < 0 && errno == EINTR)
                    continue;
                if (got < 0 && errno != EAGAIN)
                    reset();
                return;
            }
            for (ssize_t at = 0; at < got;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                apply(*event);
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        }
    }

    // The listing of the folder: the kept one, or one read now (into scratch when it cannot
    // be kept). Null when the folder cannot be read.
    const Listing* of(const std::string& folder, Listing& scratch)
    {
        struct stat info;
        if (::stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
            return nullptr;
        const auto kept = byFolder_.find(FolderKey{info.st_dev, info.st_ino});
        if (kept != byFolder_.end())
            return &kept->second;
        // The watch and the reading go through one descriptor, so both see the same folder;
        // the watch comes first, so no change falls between them.
        const int folderFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (folderFd < 0 || ::fstat(folderFd, &info) != 0) {
            if (folderFd >= 0)
                ::close(folderFd);
            return nullptr;
        }
        const int watch = watch_(folderFd);
        scratch = Listing{};
        if (!readListing(folderFd, scratch))
            return nullptr;
        if (watch < 0)
            return &scratch;
        // Changes made since the watch began are applied at the next catch-up; applying one
        // that the reading already saw changes nothing.
        const FolderKey key{info.st_dev, info.st_ino};
        byWatch_[watch] = key;
        return &(byFolder_[key] = std::move(scratch));
    }

    // The kept listing of a folder, or null.
    const Listing* kept(const FolderKey& key) const
    {
        const auto listing = byFolder_.find(key);
        return listing == byFolder_.end() ? nullptr : &listing->second;
    }

    // A folder path as written is found again without walking it while no kept listing has
    // gained or lost an entry since it was found through kept listings only: each component
    // would be found the same. One stat tells that the path still leads to the same folder,
    // which no event would tell of a mount or of a folder reached through "..".
    bool knownFolder(const std::string& written, std::string& onDisk, FolderKey& key) const
    {
        const auto known = folders_.find(written);
        if (known == folders_.end() || known->second.generation != generation_)
            return false;
        struct stat info;
        if (::stat(known->second.onDisk.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)
            || !(FolderKey{info.st_dev, info.st_ino} == known->second.key) || kept(known->second.key) == nullptr)
            return false;
        onDisk = known->second.onDisk;
        key = known->second.key;
        return true;
    }

    // Remembers a folder found through kept listings only, when its own listing is kept too.
    void rememberFolder(const std::string& written, const std::string& onDisk)
    {
        struct stat info;
        if (::stat(onDisk.c_str(), &info) != 0)
            return;
        const FolderKey key{info.st_dev, info.st_ino};
        if (kept(key) == nullptr)
            return;
        if (folders_.size() >= kMostFolders)
            folders_.clear();
        folders_[written] = KnownFolder{onDisk, key, generation_};
    }

private:
    static constexpr size_t kMostFolders = 256;
    static constexpr uint32_t kEntryChanges = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO;

    int watch_(int folderFd)
    {
        if (byWatch_.size() >= kMostFolders)
            reset();
        if (watcher_ < 0)
            watcher_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (watcher_ < 0 || !changedOnlyHere(folderFd))
            return -1;
        const std::string self = "/proc/self/fd/" + std::to_string(folderFd);
        return ::inotify_add_watch(watcher_, self.c_str(), kEntryChanges | IN_DELETE_SELF | IN_ONLYDIR);
    }

    void apply(const inotify_event& event)
    {
        if ((event.mask & IN_Q_OVERFLOW) != 0)
            return reset();
        const auto watch = byWatch_.find(event.wd);
        if (watch == byWatch_.end())
            return;
        if ((event.mask & (IN_IGNORED | IN_DELETE_SELF | IN_UNMOUNT)) != 0) {
            byFolder_.erase(watch->second);
            byWatch_.erase(watch);
            ++generation_;
            return;
        }
        const auto listing = byFolder_.find(watch->second);
        if (listing == byFolder_.end() || event.len == 0 || isNewFileName(event.name))
            return;
        bool changed = false;
        if ((event.mask & (IN_CREATE | IN_MOVED_TO)) != 0)
            changed = listing->second.add(event.name);
        else if ((event.mask & (IN_DELETE | IN_MOVED_FROM)) != 0)
            changed = listing->second.remove(event.name);
        if (changed)
            ++generation_;
    }

    void reset()
    {
        if (watcher_ >= 0)
            ::close(watcher_);
        watcher_ = -1;
        byWatch_.clear();
        byFolder_.clear();
        folders_.clear();
        ++generation_;
    }

    struct KnownFolder {
        std::string onDisk;
        FolderKey key;
        uint64_t generation;
    };

    int watcher_ = -1;
    std::unordered_map<int, FolderKey> byWatch_;
    std::unordered_map<FolderKey, Listing, FolderKeyHash> byFolder_;
    // Counts the changes to the kept listings' entries.
    uint64_t generation_ = 0;
    std::unordered_map<std::string, KnownFolder> folders_;
};

KeptListings keptListings;

std::string joined(const std::string& folder, const std::string& name)
{
    return folder == "/" ? folder + name : folder + "/" + name;
}

// The name under which `name` exists in the folder: itself when it exists as written,
// otherwise the entry equal to it ignoring ASCII case (the bytewise smallest, when several
// are), otherwise empty.
std::string entryIn(const Listing& listing, const std::string& name)
{
    const auto folded = listing.byFold.find(lowered(name));
    if (folded == listing.byFold.end())
        return std::string();
    return folded->second.count(name) != 0 ? name : *folded->second.begin();
}

// As entryIn, for a folder given by its path; clears `kept` when its listing is not kept.
std::string findEntry(const std::string& folder, const std::string& name, bool& kept)
{
    if (name == "." || name == "..")
        return name;
    Listing scratch;
    const Listing* listing = keptListings.of(folder, scratch);
    kept = kept && listing != nullptr && listing != &scratch;
    if (listing == nullptr) {
        // A folder that may be passed through but not read: only the name as written.
        struct stat info;
        return ::lstat(joined(folder, name).c_str(), &info) == 0 ? name : std::string();
    }
    return entryIn(*listing, name);
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

// Where a path's last component lives: its folder, and its name.
struct Location {
    std::string folder;
    std::string name;
    bool folderKept = false; // when the folder's kept listing is known by its key
    FolderKey key{};
};

// Finds every folder of the path regardless of letter case; false when one is missing. The
// name stays as written.
bool locate(const char* path, Location& location)
{
    const std::vector<std::string> components = splitPath(path);
    if (components.empty())
        return false;
    keptListings.catchUp();
    location.name = components.back();
    const std::string text = path;
    const std::string written = text.substr(0, text.find_last_of('/') + 1);
    location.folderKept = keptListings.knownFolder(written, location.folder, location.key);
    if (location.folderKept)
        return true;
    std::string folder = path[0] == '/' ? "/" : ".";
    bool kept = true;
    for (size_t i = 0; i + 1 < components.size(); ++i) {
        const std::string entry = findEntry(folder, components[i], kept);
        if (entry.empty())
            return false;
        folder = joined(folder, entry);
    }
    if (kept)
        keptListings.rememberFolder(written, folder);
    location.folder = std::move(folder);
    return true;
}

// The name under which the located file exists, as findEntry tells.
std::string entryOf(const Location& location)
{
    const Listing* listing = location.folderKept ? keptListings.kept(location.key) : nullptr;
    bool kept = true;
    return listing != nullptr ? entryIn(*listing, location.name) : findEntry(location.folder, location.name, kept);
}

// The path split as written, for a path that exists as written.
Location asWritten(const char* path)
{
    const std::string text = path;
    const size_t slash = text.find_last_of('/');
    if (slash == std::string::npos)
        return {".", text};
    return {slash == 0 ? "/" : text.substr(0, slash), text.substr(slash + 1)};
}

bool missingOnTheWay(int error)
{
    return error == ENOENT || error == ENOTDIR;
}

// Opens an existing file with its folders and name found regardless of letter case. The path
// as written is tried first: it is what nearly every call finds. O_NONBLOCK keeps a FIFO or
// device from blocking the open; the caller refuses anything that is not a regular file.
Fd openSource(const char* path)
{
    const int flags = O_RDONLY | O_NONBLOCK | O_CLOEXEC;
    Fd file(::open(path, flags));
    if (file || !missingOnTheWay(errno))
        return file;
    Location location;
    if (!locate(path, location))
        return Fd();
    const std::string entry = entryOf(location);
    return entry.empty() ? Fd() : Fd(::open(joined(location.folder, entry).c_str(), flags));
}

bool isRegularFile(int fd, struct stat& info)
{
    return ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
}

// An existing regular file opened for reading, found regardless of letter case; empty for
// anything else (missing, a folder, a FIFO, a device).
Fd openRegularSource(const char* path, struct stat& info)
{
    Fd file = openSource(path);
    return file && isRegularFile(file.get(), info) ? std::move(file) : Fd();
}

// A target as found on disk: its folder and name (the on-disk spelling of an existing one,
// the written one for a new one), and what stands there now.
struct Target {
    Location location;
    bool exists = false;
    struct stat info {};

    std::string path() const { return joined(location.folder, location.name); }
};

// Finds the target's folder and name; false when its folder is missing. With ignoreCase
// false, the path is taken exactly as written.
bool findTarget(const char* path, bool ignoreCase, Target& target)
{
    if (::lstat(path, &target.info) == 0) {
        target.location = asWritten(path);
        target.exists = true;
        return true;
    }
    const int error = errno;
    if (!missingOnTheWay(error))
        return false;
    if (!ignoreCase) {
        target.location = asWritten(path);
        return error == ENOENT && ::access(target.location.folder.c_str(), F_OK) == 0;
    }
    if (!locate(path, target.location))
        return false;
    const std::string entry = entryOf(target.location);
    if (entry.empty())
        return true;
    target.location.name = entry;
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
// file is removed when any step fails. No flush to disk: a crash after the rename may lose
// the new content on some file systems only together with the rest of the unwritten cache.
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

} // namespace

bool copyFileReplacing(const char* source, const char* target)
{
    struct stat sourceInfo;
    const Fd from = openRegularSource(source, sourceInfo);
    if (!from)
        return false;
    Target to;
    if (!findTarget(target, true, to) || !mayReplace(to))
        return false;
    if (to.exists && sourceInfo.st_dev == to.info.st_dev && sourceInfo.st_ino == to.info.st_ino)
        return false;
    return replace(to, [&](int fd) { return copyContent(from.get(), fd); });
}

bool writeFileReplacing(const char* path, const char* bytes, size_t size)
{
    Target target;
    if (!findTarget(path, false, target) || !mayReplace(target))
        return false;
    return replace(target, [&](int fd) { return writeBytes(fd, bytes, size); });
}

std::FILE* openRegularFile(const char* path)
{
    Fd file(::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    struct stat info;
    if (!file || !isRegularFile(file.get(), info))
        return nullptr;
    std::FILE* stream = ::fdopen(file.get(), "rb");
    if (stream != nullptr)
        file.release();
    return stream;
}

bool fileExists(const char* path)
{
    struct stat info;
    return static_cast<bool>(openRegularSource(path, info));
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
    struct stat sourceInfo;
    const Fd from = openRegularSource(source, sourceInfo);
    if (!from)
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
