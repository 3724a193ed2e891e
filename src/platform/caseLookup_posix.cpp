#include "caseLookup_posix.h"

#include "fileSystem_posix.h"
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

// O_NONBLOCK keeps a FIFO or device from blocking the open.
Fd CaseLookup::openForReading(const std::string& path)
{
    Place found;
    return Fd(tryFound(path, found, [](const At& entry) {
        return ::openat(entry.folder, entry.name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    }));
}

Fd CaseLookup::openRegular(const std::string& path, struct stat& info)
{
    Fd file = openForReading(path);
    return file && isRegularFile(file.get(), info) ? std::move(file) : Fd();
}

bool CaseLookup::findRegular(const std::string& path, struct stat& info)
{
    Place found;
    return tryFound(path, found, [&info](const At& entry) { return ::fstatat(entry.folder, entry.name.c_str(), &info, 0); }) == 0
           && S_ISREG(info.st_mode);
}

int CaseLookup::examine(const std::string& path, Place& place, struct stat& info)
{
    const int described = tryFound(path, place, [&info](const At& entry) {
        return ::fstatat(entry.folder, entry.name.c_str(), &info, AT_SYMLINK_NOFOLLOW);
    });
    return described == 0 ? 0 : errno;
}

// The call is made at the entry as written in its folder as on disk, and where that is missing,
// at the entry equal to it ignoring case. Where the folder is missing, the call at the path as
// written tells why (found.folder is then empty). errno tells of the call that counts.
int CaseLookup::tryFound(const std::string& path, Place& found, const std::function<int(const At&)>& call)
{
    const At asWritten = writtenEntry(path, found);
    const int result = call(asWritten);
    if (found.folder.empty())
        return result;
    const int folder = asWritten.folder;
    if (result >= 0 || !missingOnTheWay(errno))
        return result;
    const int missing = errno;
    const std::string entry = listedAs(found.folder, found.name);
    if (!entry.empty() && entry != found.name) {
        found.name = entry;
        return call(atEntry(folder, found));
    }
    errno = missing;
    return result;
}

// The path's entry as written, in its folder as on disk; the whole path as written where that
// folder is missing (found.folder is then empty).
CaseLookup::At CaseLookup::writtenEntry(const std::string& path, Place& found)
{
    std::string written;
    splitLast(path, written, found.name);
    found.folder = found.name.empty() ? std::string() : folderOnDisk(written);
    return found.folder.empty() ? At{AT_FDCWD, path} : at(found);
}

// The folders are found one after another (they share their components); the files' calls are
// made side by side, each waiting for its own round trip on a network or user-space file system.
std::vector<bool> CaseLookup::findRegularFiles(const std::vector<std::string>& paths, std::vector<struct stat>& infos)
{
    std::vector<At> entries;
    for (const std::string& path : paths) {
        Place found;
        entries.push_back(writtenEntry(path, found));
    }
    infos.assign(paths.size(), {});
    std::vector<int> errors(paths.size());
    runTogether(paths.size(), [&](size_t each) {
        const At& entry = entries[each];
        errors[each] = ::fstatat(entry.folder, entry.name.c_str(), &infos[each], 0) == 0 ? 0 : errno;
    });
    // A path missing as written may be there in another letter case.
    std::vector<bool> regular(paths.size());
    for (size_t each = 0; each < paths.size(); ++each) {
        regular[each] = errors[each] == 0 ? S_ISREG(infos[each].st_mode)
                                          : missingOnTheWay(errors[each]) && findRegular(paths[each], infos[each]);
    }
    return regular;
}

CaseLookup::At CaseLookup::at(const Place& place)
{
    return atEntry(folderFd(place.folder), place);
}

// Every folder on disk that the lookup gives out was opened as it was found.
int CaseLookup::folderFd(const std::string& folder)
{
    const auto known = opened_.find(folder);
    return known != opened_.end() && known->second ? known->second.get() : AT_FDCWD;
}

void CaseLookup::created(const Place& place)
{
    if (Listing* entries = listing(place.folder))
        entries->add(place.name);
}

// Each component is opened in the folder above it, found once: walking a whole path costs a
// round trip a component on a network or user-space file system, and the folders of a batch
// share most of theirs.
std::string CaseLookup::folderOnDisk(const std::string& written)
{
    const auto known = folders_.find(written);
    if (known != folders_.end())
        return known->second;
    std::string onDisk;
    if (written == ".") {
        onDisk = written;
    } else if (written == "/") {
        onDisk = openFolder(At{AT_FDCWD, written}, written) ? written : std::string();
    } else {
        std::string parent;
        std::string name;
        splitLast(written, parent, name);
        const std::string parentOnDisk = folderOnDisk(parent);
        if (!parentOnDisk.empty())
            onDisk = subfolderOnDisk(parentOnDisk, name);
    }
    return folders_[written] = onDisk;
}

// The folder's subfolder as on disk, opened: as written where it is there, else ignoring case;
// empty when there is none.
std::string CaseLookup::subfolderOnDisk(const std::string& folder, const std::string& name)
{
    if (name.empty() || name == ".")
        return folder;
    if (openFolder(at(Place{folder, name}), joined(folder, name)))
        return joined(folder, name);
    if (!missingOnTheWay(errno))
        return std::string();
    const std::string entry = listedAs(folder, name);
    if (entry.empty() || entry == name || !openFolder(at(Place{folder, entry}), joined(folder, entry)))
        return std::string();
    return joined(folder, entry);
}

// Opens the entry as a folder, kept for the object's life under its path on disk. Where the
// system can, it is opened only to name it, which needs no leave to read it and asks a network
// or user-space file system nothing more. A folder that may be passed through but not opened
// is kept without a descriptor: it is named by its path.
bool CaseLookup::openFolder(const At& entry, const std::string& folder)
{
    if (opened_.count(folder) != 0)
        return true;
#ifdef O_PATH
    const int flags = O_PATH | O_DIRECTORY | O_CLOEXEC;
#else
    const int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
#endif
    Fd opened(::openat(entry.folder, entry.name.c_str(), flags));
    struct stat info;
    if (!opened && (errno != EACCES || ::fstatat(entry.folder, entry.name.c_str(), &info, 0) != 0 || !S_ISDIR(info.st_mode)))
        return false;
    opened_.emplace(folder, std::move(opened));
    return true;
}

// The name under which `name` exists in the folder: itself when it exists as written,
// otherwise the bytewise smallest entry equal to it ignoring ASCII case; empty when none.
std::string CaseLookup::entryIn(const std::string& folder, const std::string& name)
{
    if (name.empty() || name == "." || name == "..")
        return name;
    if (listings_.find(folder) == listings_.end()) {
        struct stat info;
        const At entry = at(Place{folder, name});
        if (::fstatat(entry.folder, entry.name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0)
            return name;
        if (!missingOnTheWay(errno))
            return std::string();
    }
    return listedAs(folder, name);
}

// The name as the folder's listing has it, read once: itself, else the bytewise smallest
// entry equal to it ignoring ASCII case; empty when none (or the folder cannot be read).
std::string CaseLookup::listedAs(const std::string& folder, const std::string& name)
{
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
