#include "replaceFile.h"

#include "fileBasics_win32.h"

#include <string>

namespace {

// Whether both paths name one file (two spellings, or two names of a hard link).
bool sameFile(const char* first, const char* second)
{
    BY_HANDLE_FILE_INFORMATION info[2] = {};
    const char* paths[2] = {first, second};
    for (int i = 0; i < 2; ++i) {
        const HANDLE file = CreateFileA(paths[i], 0, kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return false;
        const BOOL known = GetFileInformationByHandle(file, &info[i]);
        CloseHandle(file);
        if (!known)
            return false;
    }
    return info[0].dwVolumeSerialNumber == info[1].dwVolumeSerialNumber
        && info[0].nFileIndexHigh == info[1].nFileIndexHigh && info[0].nFileIndexLow == info[1].nFileIndexLow;
}

// The attributes a file may be given; the others (folder, reparse point, compression and
// the like) belong to how the file is stored.
const DWORD kSettableAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM
                                  | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED
                                  | FILE_ATTRIBUTE_OFFLINE | FILE_ATTRIBUTE_TEMPORARY;

// Whether the target may be replaced, given its attributes: a missing one, or an existing
// file that is neither a folder nor read-only (the rename would not ask).
bool mayReplace(DWORD targetAttributes)
{
    if (targetAttributes == INVALID_FILE_ATTRIBUTES)
        return GetLastError() == ERROR_FILE_NOT_FOUND;
    return !isFolder(targetAttributes) && (targetAttributes & FILE_ATTRIBUTE_READONLY) == 0;
}

// The attributes the replacement takes: the target's own, or plain ones for a new file.
DWORD attributesToKeep(DWORD targetAttributes)
{
    if (targetAttributes == INVALID_FILE_ATTRIBUTES || (targetAttributes & kSettableAttributes) == 0)
        return FILE_ATTRIBUTE_NORMAL;
    return targetAttributes & kSettableAttributes;
}

// Removes a new file left by a killed click (a click holds the click lock, so no other one is
// filling it): it is never written into, as it might be linked elsewhere by now.
void removeLeftover(const std::string& path)
{
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(path.c_str());
}

// Fills the new file beside the target through `fill`, which leaves its content on disk; then
// gives it the target's attributes and moves it over the target, the rename written through to
// disk before the call returns. The new file is deleted when any step fails.
template <typename Fill>
bool replace(const char* target, Fill fill)
{
    const DWORD targetAttributes = GetFileAttributesA(target);
    if (!mayReplace(targetAttributes))
        return false;
    const std::string newPath = std::string(target) + kNewFileSuffix;
    removeLeftover(newPath);
    if (fill(newPath.c_str()) && SetFileAttributesA(newPath.c_str(), attributesToKeep(targetAttributes)) != 0
        && MoveFileExA(newPath.c_str(), target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0)
        return true;
    removeLeftover(newPath);
    return false;
}

// Writes the bytes into a new file with plain attributes and flushes them to disk.
bool writeNewFile(const char* path, const char* bytes, size_t size)
{
    const HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const bool complete = WriteFile(file, bytes, static_cast<DWORD>(size), &written, nullptr) != 0 && written == size
                          && FlushFileBuffers(file) != 0;
    return CloseHandle(file) != 0 && complete;
}

// Writes the file's cached content to disk.
bool flushToDisk(const char* path)
{
    const HANDLE file =
        CreateFileA(path, GENERIC_WRITE, kShareAll, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    const bool flushed = FlushFileBuffers(file) != 0;
    return CloseHandle(file) != 0 && flushed;
}

// The copy takes the source's attributes, read-only among them, which would keep it from
// being opened to flush it and the live file from being replaced by the next click: they are
// cleared here, and the target's set after.
bool copyNewFile(const char* source, const char* path)
{
    return CopyFileA(source, path, TRUE) != 0 && SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL) != 0
           && flushToDisk(path);
}

bool copyOne(const char* source, const char* target)
{
    const DWORD attributes = GetFileAttributesA(source);
    if (attributes == INVALID_FILE_ATTRIBUTES || isFolder(attributes) || sameFile(source, target))
        return false;
    return replace(target, [source](const char* newPath) { return copyNewFile(source, newPath); });
}

} // namespace

std::vector<bool> copyFilesReplacing(const std::vector<FilePair>& copies)
{
    std::vector<bool> copied;
    for (const FilePair& copy : copies)
        copied.push_back(copyOne(copy.source.c_str(), copy.target.c_str()));
    return copied;
}

bool writeFileReplacing(const char* path, const char* bytes, size_t size)
{
    return replace(path, [bytes, size](const char* newPath) { return writeNewFile(newPath, bytes, size); });
}
