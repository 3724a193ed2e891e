#include "removeFile.h"

#include "caseLookup_posix.h"
#include "fileSystem_posix.h"
#include "replaceFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

bool removeFileDurably(const char* path)
{
    if (::unlink(path) != 0)
        return errno == ENOENT;
    return flushFolder(CaseLookup::asWritten(path).folder);
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
void removeLeftoversIn(const std::string& folder, bool below)
{
    DIR* entries = ::opendir(folder.c_str());
    if (entries == nullptr)
        return;
    while (const dirent* entry = ::readdir(entries)) {
        if (isNewFile(entry->d_name))
            ::unlinkat(::dirfd(entries), entry->d_name, 0);
        else if (below && isSubfolder(entries, entry))
            removeLeftoversIn(folder + "/" + entry->d_name, true);
    }
    ::closedir(entries);
}

} // namespace

void removeLeftovers(const std::vector<std::string>& folders)
{
    CaseLookup lookup;
    for (const std::string& folder : folders) {
        const std::string onDisk = lookup.folderOnDisk(folder);
        if (!onDisk.empty())
            removeLeftoversIn(onDisk, false);
    }
}

void removeLeftoversBelow(const char* folder)
{
    removeLeftoversIn(folder, true);
}
