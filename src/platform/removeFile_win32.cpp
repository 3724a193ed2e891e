#include "removeFile.h"

#include "fileBasics_win32.h"
#include "replaceFile.h"

#include <cstring>

// Windows lets a program flush no folder: the removal is on disk when the file system's
// journal has written it, at the latest with the next write-through of the same volume. A
// mark that another program holds a moment is waited for.
bool removeFileDurably(const char* path)
{
    const Patience patience;
    for (int tries = 0;;) {
        if (DeleteFileA(path))
            return true;
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
            return true;
        // A read-only file is refused, not held.
        const DWORD attributes = GetFileAttributesA(path);
        const bool held = mayBeHeld(error) && attributes != INVALID_FILE_ATTRIBUTES
                          && (attributes & FILE_ATTRIBUTE_READONLY) == 0;
        if (!held || !Patience::waitForOtherProgram(tries))
            return false;
    }
}

namespace {

bool isNewFile(const char* name)
{
    const size_t length = std::strlen(name);
    const size_t suffix = sizeof kNewFileSuffix - 1;
    return length > suffix && lstrcmpiA(name + length - suffix, kNewFileSuffix) == 0;
}

bool isSubfolder(const WIN32_FIND_DATAA& entry)
{
    return isFolder(entry.dwFileAttributes) && (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0
           && std::strcmp(entry.cFileName, ".") != 0 && std::strcmp(entry.cFileName, "..") != 0;
}

// Nothing is flushed: a leftover that comes back after a power cut is only removed again. One
// that another program holds stays until the copy of its target. Links to folders elsewhere
// (reparse points) are never followed into.
void removeLeftoversIn(const std::string& folder, bool below)
{
    WIN32_FIND_DATAA entry;
    const HANDLE entries = FindFirstFileA((folder + (below ? "/*" : std::string("/*") + kNewFileSuffix)).c_str(), &entry);
    if (entries == INVALID_HANDLE_VALUE)
        return;
    do {
        if (!isFolder(entry.dwFileAttributes) && isNewFile(entry.cFileName))
            DeleteFileA((folder + "/" + entry.cFileName).c_str());
        else if (below && isSubfolder(entry))
            removeLeftoversIn(folder + "/" + entry.cFileName, true);
    } while (FindNextFileA(entries, &entry));
    FindClose(entries);
}

} // namespace

void removeLeftovers(const std::vector<std::string>& folders)
{
    for (const std::string& folder : folders) {
        removeLeftoversIn(folder, false);
        keepAlive();
    }
}

void removeLeftoversBelow(const char* folder)
{
    removeLeftoversIn(folder, true);
    keepAlive();
}
