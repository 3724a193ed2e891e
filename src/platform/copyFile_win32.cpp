#include "copyFile.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

// The Windows file system ignores letter case already, and MoveFileExA keeps an existing
// target's on-disk spelling.

namespace {

const DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

bool isFolder(DWORD attributes)
{
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

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

std::FILE* openRegularFile(const char* path)
{
    return fileExists(path) ? std::fopen(path, "rb") : nullptr;
}

bool fileExists(const char* path)
{
    const DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !isFolder(attributes);
}

namespace {

// Owns one file handle opened for reading, letting others read and write it meanwhile.
class ReadHandle {
public:
    explicit ReadHandle(const char* path)
        : handle_(CreateFileA(path, GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr))
    {
    }
    ~ReadHandle()
    {
        if (handle_ != INVALID_HANDLE_VALUE)
            CloseHandle(handle_);
    }
    ReadHandle(const ReadHandle&) = delete;
    ReadHandle& operator=(const ReadHandle&) = delete;

    HANDLE get() const { return handle_; }
    // A regular file: opened, and neither a folder nor a device.
    bool isFile() const
    {
        BY_HANDLE_FILE_INFORMATION info;
        return handle_ != INVALID_HANDLE_VALUE && GetFileType(handle_) == FILE_TYPE_DISK
               && GetFileInformationByHandle(handle_, &info) && (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    }

private:
    HANDLE handle_;
};

// Reads until the buffer is full or the file ends; false on a read error.
bool readFully(HANDLE file, char* buffer, DWORD size, DWORD& done)
{
    done = 0;
    while (done < size) {
        DWORD got = 0;
        if (!ReadFile(file, buffer + done, size - done, &got, nullptr))
            return false;
        if (got == 0)
            break;
        done += got;
    }
    return true;
}

bool sameBytes(HANDLE a, HANDLE b)
{
    constexpr DWORD kChunk = 64 * 1024;
    char left[kChunk];
    char right[kChunk];
    for (;;) {
        DWORD gotLeft = 0;
        DWORD gotRight = 0;
        if (!readFully(a, left, kChunk, gotLeft) || !readFully(b, right, kChunk, gotRight) || gotLeft != gotRight)
            return false;
        if (gotLeft == 0)
            return true;
        if (std::memcmp(left, right, gotLeft) != 0)
            return false;
    }
}

bool sameSize(HANDLE a, HANDLE b)
{
    LARGE_INTEGER sizeA;
    LARGE_INTEGER sizeB;
    return GetFileSizeEx(a, &sizeA) && GetFileSizeEx(b, &sizeB) && sizeA.QuadPart == sizeB.QuadPart;
}

FileComparison compare(const char* source, const char* target)
{
    const ReadHandle from(source);
    if (!from.isFile())
        return FileComparison::SourceMissing;
    const ReadHandle to(target);
    if (!to.isFile()) {
        // A file that is there but may not be read cannot be told equal.
        const bool lockedFile = to.get() == INVALID_HANDLE_VALUE && fileExists(target);
        return lockedFile ? FileComparison::Different : FileComparison::TargetMissing;
    }
    if (!sameSize(from.get(), to.get()))
        return FileComparison::Different;
    return sameBytes(from.get(), to.get()) ? FileComparison::Same : FileComparison::Different;
}

} // namespace

std::vector<FileComparison> compareFiles(const std::vector<FilePair>& pairs)
{
    std::vector<FileComparison> found;
    for (const FilePair& pair : pairs)
        found.push_back(compare(pair.source.c_str(), pair.target.c_str()));
    return found;
}

namespace {

// The name of the working directory's click lock: its volume and file index, which every
// spelling of its path shares; empty when they cannot be had.
std::string clickLockName()
{
    const HANDLE folder = CreateFileA(".", 0, kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (folder == INVALID_HANDLE_VALUE)
        return std::string();
    BY_HANDLE_FILE_INFORMATION info;
    const BOOL known = GetFileInformationByHandle(folder, &info);
    CloseHandle(folder);
    if (!known)
        return std::string();
    char name[64];
    std::snprintf(name, sizeof name, "Local\\br927config-click-%08lx-%08lx%08lx", info.dwVolumeSerialNumber,
                  info.nFileIndexHigh, info.nFileIndexLow);
    return name;
}

} // namespace

// A named mutex: no file is left in the player's folders, and one whose holder ended without
// releasing it is handed to the next waiter (WAIT_ABANDONED), so a killed click blocks nothing.
ClickLock::ClickLock() : held_(0)
{
    const std::string name = clickLockName();
    const HANDLE mutex = name.empty() ? nullptr : CreateMutexA(nullptr, FALSE, name.c_str());
    if (mutex == nullptr)
        return;
    const DWORD waited = WaitForSingleObject(mutex, INFINITE);
    if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) {
        CloseHandle(mutex);
        return;
    }
    held_ = reinterpret_cast<std::intptr_t>(mutex);
}

ClickLock::~ClickLock()
{
    if (held_ == 0)
        return;
    const HANDLE mutex = reinterpret_cast<HANDLE>(held_);
    ReleaseMutex(mutex);
    CloseHandle(mutex);
}
