#include "keepFile.h"

#include "fileSystem_posix.h"
#include "newFiles_posix.h"

#include <fcntl.h>

#include <algorithm>
#include <cerrno>
#include <set>

// A kept file is a second name of the live file where the file system allows it: the copy
// that replaces the live file then leaves the old bytes to that name alone, at no cost. Where
// not (FAT, exFAT, another file system), the bytes are copied into a new file beside the kept
// path, which is flushed and renamed to it: a kept file under its own name is always whole.

namespace {

// Creates the folder and every missing folder above it, noting each one made, outermost first;
// each folder that gained an entry is noted for flushing.
bool createFolders(const std::string& folder, std::vector<std::string>& made, std::set<std::string>& changed)
{
    struct stat info;
    if (::stat(folder.c_str(), &info) == 0) {
        errno = ENOTDIR;
        return S_ISDIR(info.st_mode);
    }
    const CaseLookup::Place parent = CaseLookup::asWritten(folder);
    if (errno != ENOENT || !createFolders(parent.folder, made, changed))
        return false;
    if (::mkdir(folder.c_str(), 0777) != 0 && errno != EEXIST)
        return false;
    made.push_back(folder);
    changed.insert(parent.folder);
    return true;
}

// A keep that failed leaves no empty folders of its own behind: those it made are removed again,
// innermost first, unless another keep has put a file into one of them.
void removeFoldersMade(const std::vector<std::string>& made, std::set<std::string>& changed)
{
    for (auto folder = made.rbegin(); folder != made.rend(); ++folder) {
        if (::rmdir(folder->c_str()) != 0)
            return;
        changed.erase(*folder);
    }
}

bool linkNotPossible(int error)
{
    return error == EXDEV || error == EPERM || error == ENOTSUP || error == EOPNOTSUPP || error == EMLINK
           || error == ENOSYS;
}

// Keeps the live file at its kept path: a second name, or a copy with its modification time
// that waits among the copies for its flush and rename. None when done or waiting; `changed`
// gains the folders that gained an entry.
FileError keepOne(CaseLookup& lookup, Replacements& copies, size_t step, const FilePair& keep,
                  std::vector<std::string>& made, std::set<std::string>& changed)
{
    struct stat info;
    const Fd live = lookup.openRegular(keep.source, info);
    if (!live)
        return errno == EACCES ? FileError::AccessDenied : FileError::SourceMissing;
    CaseLookup::Place found;
    if (!lookup.place(keep.source, found))
        return FileError::SourceMissing;
    Target kept;
    kept.place = CaseLookup::asWritten(keep.target);
    if (!createFolders(kept.place.folder, made, changed))
        return fileErrorOf(errno);
    // A live file that is a symbolic link (as some mod managers deploy them) is kept as the
    // file it leads to: the link itself, moved elsewhere, might lead nowhere.
    if (::linkat(AT_FDCWD, found.path().c_str(), AT_FDCWD, keep.target.c_str(), AT_SYMLINK_FOLLOW) == 0) {
        changed.insert(kept.place.folder);
        return FileError::None;
    }
    if (!linkNotPossible(errno))
        return fileErrorOf(errno);
    return copies.fill(step, kept, [&](int fd) {
        if (!copyContent(live.get(), fd))
            return false;
        keepModificationTime(fd, info);
        return true;
    });
}

} // namespace

std::vector<FileError> keepFiles(const std::vector<FilePair>& keeps)
{
    CaseLookup lookup;
    std::set<std::string> changed;
    std::vector<std::vector<std::string>> made(keeps.size());
    Replacements copies(keeps.size());
    for (size_t step = 0; step < keeps.size(); ++step)
        copies.ended(step, keepOne(lookup, copies, step, keeps[step], made[step], changed));
    std::vector<FileError> results = copies.finish();
    for (size_t step = 0; step < keeps.size(); ++step) {
        if (results[step] != FileError::None)
            removeFoldersMade(made[step], changed);
    }
    // Every folder that gained an entry is flushed before the live files may be replaced.
    const std::vector<FileError> folders = flushFolders({changed.begin(), changed.end()});
    const bool durable = std::all_of(folders.begin(), folders.end(), [](FileError folder) { return folder == FileError::None; });
    for (FileError& result : results)
        result = result == FileError::None && !durable ? FileError::ReadWriteError : result;
    return results;
}
