#include "keepFile.h"

#include "caseLookup_posix.h"
#include "fileSystem_posix.h"

#include <fcntl.h>

#include <cerrno>
#include <set>

// A kept file is a second name of the live file where the file system allows it: the copy
// that replaces the live file then leaves the old bytes to that name alone, at no cost. Where
// not (FAT, exFAT, another file system), the bytes are copied.

namespace {

// Creates the folder and every missing folder above it; each folder that gained an entry is
// noted for flushing.
bool createFolders(const std::string& folder, std::set<std::string>& changed)
{
    struct stat info;
    if (::stat(folder.c_str(), &info) == 0)
        return S_ISDIR(info.st_mode);
    const CaseLookup::Place parent = CaseLookup::asWritten(folder);
    if (errno != ENOENT || !createFolders(parent.folder, changed))
        return false;
    if (::mkdir(folder.c_str(), 0777) != 0 && errno != EEXIST)
        return false;
    changed.insert(parent.folder);
    return true;
}

bool linkNotPossible(int error)
{
    return error == EXDEV || error == EPERM || error == ENOTSUP || error == EOPNOTSUPP || error == EMLINK
           || error == ENOSYS;
}

// A copy of the live file with its modification time, flushed.
bool copyKept(int from, const struct stat& info, const std::string& kept)
{
    Fd to(::open(kept.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
    if (!to)
        return false;
    const struct timespec times[2] = {{0, UTIME_OMIT}, info.st_mtim};
    if (copyContent(from, to.get()) && ::futimens(to.get(), times) == 0 && ::fsync(to.get()) == 0 && to.close())
        return true;
    const int error = errno;
    ::unlink(kept.c_str());
    errno = error;
    return false;
}

FileError keepOne(CaseLookup& lookup, const FilePair& keep, std::set<std::string>& changed)
{
    struct stat info;
    const Fd live = lookup.openRegular(keep.source, info);
    if (!live)
        return errno == EACCES ? FileError::AccessDenied : FileError::SourceMissing;
    CaseLookup::Place found;
    if (!lookup.place(keep.source, found))
        return FileError::SourceMissing;
    const CaseLookup::Place kept = CaseLookup::asWritten(keep.target);
    if (!createFolders(kept.folder, changed))
        return fileErrorOf(errno);
    // A live file that is a symbolic link (as some mod managers deploy them) is kept as the
    // file it leads to: the link itself, moved elsewhere, might lead nowhere.
    if (::linkat(AT_FDCWD, found.path().c_str(), AT_FDCWD, keep.target.c_str(), AT_SYMLINK_FOLLOW) != 0
        && (!linkNotPossible(errno) || !copyKept(live.get(), info, keep.target)))
        return fileErrorOf(errno);
    changed.insert(kept.folder);
    return FileError::None;
}

} // namespace

std::vector<FileError> keepFiles(const std::vector<FilePair>& keeps)
{
    CaseLookup lookup;
    std::set<std::string> changed;
    std::vector<FileError> results;
    for (const FilePair& keep : keeps)
        results.push_back(keepOne(lookup, keep, changed));
    // Every folder that gained an entry is flushed before the live files may be replaced.
    bool durable = true;
    for (auto folder = changed.rbegin(); folder != changed.rend(); ++folder)
        durable = flushFolder(*folder) && durable;
    if (!durable) {
        for (FileError& result : results)
            result = result == FileError::None ? FileError::ReadWriteError : result;
    }
    return results;
}
