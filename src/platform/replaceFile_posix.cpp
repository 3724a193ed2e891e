#include "replaceFile.h"

#include "fileSystem_posix.h"
#include "newFiles_posix.h"

#include <fcntl.h>

#include <cerrno>
#include <memory>
#include <optional>

// Whole-file replacement: a new file beside the target, filled and flushed, then renamed over
// it, and the rename flushed, in the rounds of newFiles_posix.h.

namespace {

// Finds the target's folder and name through the lookup, which holds the folder open for the
// calls at the target; an error when its folder is missing or cannot be searched.
FileError findTarget(CaseLookup& lookup, const std::string& path, Target& target)
{
    const int error = lookup.examine(path, target.place, target.info);
    target.exists = error == 0;
    target.folderFd = AT_FDCWD;
    if (target.place.folder.empty()) {
        if (error == ENOENT || error == ENOTDIR)
            return FileError::FolderMissing;
        target.place = CaseLookup::asWritten(path);
    } else {
        target.folderFd = lookup.folderFd(target.place.folder);
    }
    return target.exists || error == ENOENT ? FileError::None : fileErrorOf(error);
}

// The new file beside the target.
CaseLookup::At newFileOf(const Target& target)
{
    CaseLookup::At entry = target.at();
    entry.name += kNewFileSuffix;
    return entry;
}

// Whether the user's own file has its owner's write bit: the system asks nothing more of its
// owner (an access control list cannot take from the owner what the bits give). An immutable
// one is refused by its rename, a read-only file system by the new file's creation.
bool ownWritableFile(const struct stat& info)
{
    static const uid_t user = ::getuid();
    return info.st_uid == user && (info.st_mode & S_IWUSR) != 0;
}

// Whether the target may be replaced. A regular file only when the user may write it: the
// rename asks only the folder, so a read-only or other user's file is refused here, as writing
// into it would have been. A symbolic link is replaced itself (nothing is written where it
// points). Anything else (a folder, FIFO, device) is refused.
FileError mayReplace(const Target& target)
{
    if (!target.exists || S_ISLNK(target.info.st_mode))
        return FileError::None;
    if (!S_ISREG(target.info.st_mode))
        return FileError::NotAFile;
    if (ownWritableFile(target.info))
        return FileError::None;
    const CaseLookup::At entry = target.at();
    return ::faccessat(entry.folder, entry.name.c_str(), W_OK, 0) == 0 ? FileError::None : fileErrorOf(errno);
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

// Finds the step's source and target and fills the target's new file, which then waits for its
// rename; the step's result when it ends here instead.
std::optional<FileError> prepareCopy(CaseLookup& lookup, Replacements& replacements, size_t step, const FilePair& copy)
{
    struct stat sourceInfo;
    errno = 0;
    Fd from = lookup.openRegular(copy.source, sourceInfo);
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
    const auto source = std::make_shared<Fd>(std::move(from));
    const FileError filled = replacements.fillAside(step, to, [source, sourceInfo](int fd) {
        if (!copyContent(source->get(), fd))
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

bool Replacements::waitingFor(const Target& target) const
{
    for (const Waiting& each : waiting_) {
        if (each.target.path() == target.path()
            || (target.exists && each.target.exists && sameFile(each.target.info, target.info)))
            return true;
    }
    return false;
}

FileError Replacements::fill(size_t step, const Target& target, const std::function<bool(int fd)>& fill)
{
    const CaseLookup::At newFile = newFileOf(target);
    Fd file = createNewFile(newFile.folder, newFile.name);
    if (!file)
        return fileErrorOf(errno);
    if (!fill(file.get())) {
        const FileError error = fileErrorOf(errno);
        ::unlinkat(newFile.folder, newFile.name.c_str(), 0);
        return error;
    }
    await(step, target, std::move(file), nullptr);
    return FileError::None;
}

FileError Replacements::fillAside(size_t step, const Target& target, std::function<bool(int fd)> fill)
{
    const CaseLookup::At newFile = newFileOf(target);
    Fd file = createNewFile(newFile.folder, newFile.name);
    if (!file)
        return fileErrorOf(errno);
    await(step, target, std::move(file), std::move(fill));
    return FileError::None;
}

void Replacements::await(size_t step, const Target& target, Fd file, std::function<bool(int fd)> fill)
{
    if (waiting_.size() >= kMostNewFilesWaiting)
        renameWaiting();
    waiting_.push_back({step, target, std::move(file), std::move(fill)});
    flushes_.start([&waiting = waiting_.back()] { complete(waiting); });
}

// On a thread of the pool: the fill still to do, the target's owner and bits, which need to be
// on disk with the data, then the flush. Each new file is closed by its own thread, since a
// write error can surface only at the close. One that fails is removed at its rename.
void Replacements::complete(Waiting& file)
{
    const int fd = file.file.get();
    const bool filled = (!file.fill || file.fill(fd))
                        && (!keepsTargetMetadata(file.target) || keepOwnerAndPermissions(fd, file.target));
    const int fillError = errno;
    file.fill = nullptr; // closes what it held (the source)
    const bool flushed = filled && (keepsTargetMetadata(file.target) ? ::fsync(fd) : ::fdatasync(fd)) == 0;
    const int flushError = filled ? errno : fillError;
    const bool closed = file.file.close();
    const int error = !flushed ? flushError : !closed ? errno : 0;
    // A failure must never pass for success, whatever errno says.
    file.flushError = (flushed && closed) || error != 0 ? error : EIO;
}

void Replacements::renameWaiting()
{
    flushes_.wait();
    for (const Waiting& each : waiting_) {
        const CaseLookup::At newFile = newFileOf(each.target);
        const CaseLookup::At target = each.target.at();
        if (each.flushError == 0 && ::renameat(newFile.folder, newFile.name.c_str(), target.folder, target.name.c_str()) == 0) {
            renamedInto_[each.target.place.folder].push_back(each.step);
            folderFds_[each.target.place.folder] = each.target.folderFd;
            continue;
        }
        results_[each.step] = fileErrorOf(each.flushError != 0 ? each.flushError : errno);
        ::unlinkat(newFile.folder, newFile.name.c_str(), 0);
    }
    waiting_.clear();
}

std::vector<FileError> Replacements::finish()
{
    renameWaiting();
    std::vector<std::string> folders;
    std::vector<int> opened;
    for (const auto& renamed : renamedInto_) {
        folders.push_back(renamed.first);
        opened.push_back(folderFds_[renamed.first]);
    }
    const std::vector<FileError> durable = flushFolders(folders, opened);
    for (size_t folder = 0; folder < folders.size(); ++folder) {
        for (const size_t step : renamedInto_[folders[folder]])
            results_[step] = durable[folder];
    }
    renamedInto_.clear();
    folderFds_.clear();
    return results_;
}

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
    const FileError filled = replacement.fill(0, target, [&](int fd) { return writeBytes(fd, bytes, size); });
    return filled != FileError::None ? filled : replacement.finish().front();
}
