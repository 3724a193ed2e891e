#include "caseLookup_posix.h"

#include "replaceFile.h"

#include <dirent.h>
#include <fcntl.h>

#include <cerrno>

namespace {

// The name with ASCII letters in lower case: how two names compare when case does not matter.
std::string lowered(std::string name)
{
    for (char& c : name)
        c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    return name;
}

// New files of replacements are never looked up, and leaving them out of a listing keeps a
// replacement under way from changing it.
bool isNewFileName(const std::string& name)
{
    const std::string suffix = kNewFileSuffix;
    return name.size() > suffix.size() && lowered(name.substr(name.size() - suffix.size())) == suffix;
}

std::string joined(const std::string& folder, const std::string& name)
{
    if (folder == ".")
        return name;
    return folder == "/" ? folder + name : folder + "/" + name;
}

// A path cut before its last component: the folder as written ("." for none) and the name.
void splitLast(const std::string& path, std::string& folder, std::string& name)
{
    const size_t slash = path.find_last_of('/');
    folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    name = slash == std::string::npos ? path : path.substr(slash + 1);
}

bool missingOnTheWay(int error)
{
    return error == ENOENT || error == ENOTDIR;
}

bool isRegularFile(int fd, struct stat& info)
{
    return ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
}

} // namespace

std::string CaseLookup::Place::path() const
{
    return joined(folder, name);
}

CaseLookup::Place CaseLookup::asWritten(const std::string& path)
{
    Place place;
    splitLast(path, place.folder, place.name);
    return place;
}

void CaseLookup::Listing::add(const std::string& name)
{
    names.insert(name);
    const auto [smallest, added] = smallestByFold.emplace(lowered(name), name);
    if (!added && name < smallest->second)
        smallest->second = name;
}

bool CaseLookup::place(const std::string& path, Place& place)
{
    std::string written;
    splitLast(path, written, place.name);
    if (place.name.empty())
        return false;
    place.folder = folderOnDisk(written);
    if (place.folder.empty())
        return false;
    const std::string entry = entryIn(place.folder, place.name);
    if (!entry.empty())
        place.name = entry;
    return true;
}

Fd CaseLookup::openForReading(const std::string& path)
{
    // O_NONBLOCK keeps a FIFO or device from blocking the open.
    const int flags = O_RDONLY | O_NONBLOCK | O_CLOEXEC;
    Fd file(::open(path.c_str(), flags));
    if (file || !missingOnTheWay(errno))
        return file;
    // The lookup makes calls of its own: errno must tell of the open that counts.
    const int notFound = errno;
    Place found;
    if (place(path, found) && found.path() != path)
        return Fd(::open(found.path().c_str(), flags));
    errno = notFound;
    return file;
}

Fd CaseLookup::openRegular(const std::string& path, struct stat& info)
{
    Fd file = openForReading(path);
    return file && isRegularFile(file.get(), info) ? std::move(file) : Fd();
}

bool CaseLookup::findRegular(const std::string& path, struct stat& info)
{
    if (::stat(path.c_str(), &info) == 0)
        return S_ISREG(info.st_mode);
    Place found;
    return missingOnTheWay(errno) && place(path, found) && found.path() != path
           && ::stat(found.path().c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

void CaseLookup::created(const Place& place)
{
    if (Listing* entries = listing(place.folder))
        entries->add(place.name);
}

// The whole path as written is tried first.
std::string CaseLookup::folderOnDisk(const std::string& written)
{
    const auto known = folders_.find(written);
    if (known != folders_.end())
        return known->second;
    std::string onDisk;
    struct stat info;
    if (::stat(written.c_str(), &info) == 0) {
        onDisk = S_ISDIR(info.st_mode) ? written : std::string();
    } else if (missingOnTheWay(errno) && written != "." && written != "/") {
        std::string parent;
        std::string name;
        splitLast(written, parent, name);
        const std::string parentOnDisk = folderOnDisk(parent);
        const std::string entry = parentOnDisk.empty() ? std::string() : entryIn(parentOnDisk, name);
        onDisk = entry.empty() ? std::string() : joined(parentOnDisk, entry);
    }
    return folders_[written] = onDisk;
}

// The name under which `name` exists in the folder: itself when it exists as written,
// otherwise the bytewise smallest entry equal to it ignoring ASCII case; empty when none.
std::string CaseLookup::entryIn(const std::string& folder, const std::string& name)
{
    if (name.empty() || name == "." || name == "..")
        return name;
    const auto read = listings_.find(folder);
    if (read == listings_.end()) {
        struct stat info;
        if (::lstat(joined(folder, name).c_str(), &info) == 0)
            return name;
        if (!missingOnTheWay(errno))
            return std::string();
    }
    const Listing* entries = listing(folder);
    if (entries == nullptr)
        return std::string();
    if (entries->names.count(name) != 0)
        return name;
    const auto smallest = entries->smallestByFold.find(lowered(name));
    return smallest == entries->smallestByFold.end() ? std::string() : smallest->second;
}

// The folder's entries, read at the first call; null when the folder cannot be read (it may
// still be passed through, by names as written).
CaseLookup::Listing* CaseLookup::listing(const std::string& folder)
{
    if (unreadable_.count(folder) != 0)
        return nullptr;
    const auto read = listings_.find(folder);
    if (read != listings_.end())
        return &read->second;
    DIR* entries = ::opendir(folder.c_str());
    if (entries == nullptr) {
        unreadable_.insert(folder);
        return nullptr;
    }
    Listing& listing = listings_[folder];
    while (const dirent* entry = ::readdir(entries)) {
        const std::string name = entry->d_name;
        if (name != "." && name != ".." && !isNewFileName(name))
            listing.add(name);
    }
    ::closedir(entries);
    return &listing;
}
