#pragma once

#include <windows.h>

// What the Windows seam's files share. The Windows file system ignores letter case already,
// so paths go to the system as written.

// Files the tool opens stay open to every other program meanwhile: a reader, a writer, and
// one that renames or deletes them.
const DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

inline bool isFolder(DWORD attributes)
{
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// An existing file that is not a folder.
inline bool fileExists(const char* path)
{
    const DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !isFolder(attributes);
}
