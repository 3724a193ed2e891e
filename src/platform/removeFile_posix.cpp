#include "removeFile.h"

#include "caseLookup_posix.h"
#include "fileSystem_posix.h"
#include "replaceFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

FileError removeFileDurably(const char* path)
{
    if (::unlink(path) != 0)
        return errno == ENOENT ? FileError::None : fileErrorOf(errno);
    return flushFolder(CaseLookup::asWritten(path).folder) ? FileError::None : fileErrorOf(errno);
}

namespace {

bool isNewFile(const char* name)
{
    const size_t length = std::strlen(name);
    const size_t suffix = sizeof kNewFileSuffix - 1;
    return length > suffix && std::strcmp(name + length - suffix, kNewFileSuffix) == 0;
}

bool isSubfolder(DIR* entries, const dirent* entry)
{
    if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0)
        return false;
    if (entry->d_type != DT_UNKNOWN)
        return entry->d_type == DT_DIR;
    struct stat info;
    return ::fstatat(::dirfd(entries), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(info.st_mode);
}

// Nothing is flushed: a leftover that comes back after a power cut is only removed again.
// Symbolic links are never followed into.
size_t removeLeftoversIn(const std::string& folder, bool below)
{
    DIR* entries = ::opendir(folder.c_str());
    if (entries == nullptr)
        return 0;
    size_t removed = 0;
    while (const dirent* entry = ::readdir(entries)) {
        if (isNewFile(entry->d_name)) {
            removed += ::unlinkat(::dirfd(entries), entry->d_name, 0) == 0 ? 1 : 0;
        } else if (below && isSubfolder(entries, entry)) {
            removed += removeLeftoversIn(folder + "/" + entry->d_name, true);
        }
    }
    ::closedir(entries);
    return removed;
}

} // namespace

size_t removeLeftovers(const std::vector<std::string>& folders)
{
    CaseLookup lookup;
    size_t removed = 0;
    for (const std::string& folder : folders) {
        const std::string onDisk = lookup.folderOnDisk(folder);
        if (!onDisk.empty())
            removed += removeLeftoversIn(onDisk, false);
    }
    return removed;
}

size_t removeLeftoversBelow(const char* folder)
{
    return removeLeftoversIn(folder, true);
}
