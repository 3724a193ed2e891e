#include "removeFile.h"

#include "caseLookup_posix.h"
#include "fileSystem_posix.h"
#include "replaceFile.h"

#include <dirent.h>

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

// Nothing is flushed: a leftover that comes back after a power cut is only removed again.
void removeLeftoversIn(const std::string& folder)
{
    DIR* entries = ::opendir(folder.c_str());
    if (entries == nullptr)
        return;
    while (const dirent* entry = ::readdir(entries)) {
        if (isNewFile(entry->d_name))
            ::unlinkat(::dirfd(entries), entry->d_name, 0);
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
            removeLeftoversIn(onDisk);
    }
}
