#include "copyFile.h"

#include <windows.h>

// The Windows file system ignores letter case already; FALSE lets the copy replace the target.
bool copyFileReplacing(const char* source, const char* target)
{
    return CopyFileA(source, target, FALSE) != 0;
}

bool fileExists(const char* path)
{
    const DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}
