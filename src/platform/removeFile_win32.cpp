#include "removeFile.h"

#include "fileBasics_win32.h"
#include "replaceFile.h"

#include <cstring>

// Windows lets a program flush no folder: the removal is on disk when the file system's
// journal has written it, at the latest with the next write-through of the same volume. A
// mark that another program holds a moment is waited for.
FileError removeFileDurably(const char* path)
{
    const Patience patience;
    for (int tries = 0;;) {
        if (DeleteFileA(path))
            return FileError::None;
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
            return FileError::None;
        // A read-only file is refused, not held.
        const DWORD attributes = GetFileAttributesA(path);
        const bool held = mayBeHeld(error) && attributes != INVALID_FILE_ATTRIBUTES
                          && (attributes & FILE_ATTRIBUTE_READONLY) == 0;
        if (!held)
            return fileErrorOf(error);
        if (!Patience::waitForOtherProgram(tries))
            return FileError::HeldByOtherProgram;
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
size_t removeLeftoversIn(const std::string& folder, bool below)
{
    WIN32_FIND_DATAA entry;
    const HANDLE entries = FindFirstFileA((folder + (below ? "/*" : std::string("/*") + kNewFileSuffix)).c_str(), &entry);
    if (entries == INVALID_HANDLE_VALUE)
        return 0;
    size_t removed = 0;
    do {
        if (!isFolder(entry.dwFileAttributes) && isNewFile(entry.cFileName)) {
            removed += DeleteFileA((folder + "/" + entry.cFileName).c_str()) ? 1 : 0;
        } else if (below && isSubfolder(entry)) {
            removed += removeLeftoversIn(folder + "/" + entry.cFileName, true);
        }
    } while (FindNextFileA(entries, &entry));
    FindClose(entries);
    return removed;
}

} // namespace

// The folders are read side by side: each reading waits for the disk on its own.
size_t removeLeftovers(const std::vector<std::string>& folders)
{
    std::vector<size_t> removed(folders.size());
    runTogether(folders.size(), [&](size_t each) { removed[each] = removeLeftoversIn(folders[each], false); });
    size_t total = 0;
    for (const size_t each : removed)
        total += each;
    return total;
}

size_t removeLeftoversBelow(const char* folder)
{
    const size_t removed = removeLeftoversIn(folder, true);
    keepAlive();
    return removed;
}
