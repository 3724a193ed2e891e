#include "keepFile.h"

#include "fileBasics_win32.h"

#include <string>

// A kept file is a second name of the live file where the file system allows it (NTFS): the
// copy that replaces the live file then leaves the old bytes to that name alone, at no cost.
// Where not (FAT, exFAT, another volume), the bytes are copied and flushed. The file system's
// journal writes the new name before the rename that later replaces the live one.

namespace {

// Creates the folder and every missing folder above it.
bool createFolders(const std::string& folder)
{
    const DWORD attributes = GetFileAttributesA(folder.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES)
        return isFolder(attributes);
    const size_t slash = folder.find_last_of("/\\");
    if (slash != std::string::npos && slash > 0 && !createFolders(folder.substr(0, slash)))
        return false;
    return CreateDirectoryA(folder.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

bool linkNotPossible(DWORD error)
{
    return error == ERROR_NOT_SAME_DEVICE || error == ERROR_INVALID_FUNCTION || error == ERROR_NOT_SUPPORTED
           || error == ERROR_TOO_MANY_LINKS || error == ERROR_ACCESS_DENIED;
}

// A copy of the live file with its modification time, flushed; removed when it fails.
DWORD copyKept(const char* live, const char* kept, std::string& buffer)
{
    const Handle from(openToRead(live));
    OpenFileFacts facts;
    if (!from || !regularFileFacts(from.get(), facts))
        return GetLastError();
    Handle to(CreateFileA(kept, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!to)
        return GetLastError();
    if (buffer.empty())
        buffer.resize(kCopyBufferSize);
    const uint64_t size = static_cast<uint64_t>(facts.standard.EndOfFile.QuadPart);
    DWORD error = copyBytes(from.get(), to.get(), size, &buffer[0], kCopyBufferSize);
    if (error == ERROR_SUCCESS && (!setModificationTime(to.get(), facts) || !FlushFileBuffers(to.get())))
        error = GetLastError();
    to = INVALID_HANDLE_VALUE;
    if (error != ERROR_SUCCESS)
        DeleteFileA(kept);
    return error;
}

FileError keepOne(const FilePair& keep, std::string& buffer)
{
    if (!fileExists(keep.source.c_str()))
        return FileError::SourceMissing;
    const size_t slash = keep.target.find_last_of("/\\");
    if (slash != std::string::npos && !createFolders(keep.target.substr(0, slash)))
        return fileErrorOf(GetLastError());
    for (int tries = 0;;) {
        if (CreateHardLinkA(keep.target.c_str(), keep.source.c_str(), nullptr))
            return FileError::None;
        const DWORD error = GetLastError();
        if (heldOpen(error) && Patience::waitForOtherProgram(tries))
            continue;
        if (!linkNotPossible(error))
            return fileErrorOf(error);
        const DWORD copied = copyKept(keep.source.c_str(), keep.target.c_str(), buffer);
        return copied == ERROR_SUCCESS ? FileError::None : fileErrorOf(copied);
    }
}

} // namespace

std::vector<FileError> keepFiles(const std::vector<FilePair>& keeps)
{
    const Patience patience;
    std::string buffer;
    std::vector<FileError> results;
    for (const FilePair& keep : keeps) {
        results.push_back(keepOne(keep, buffer));
        keepAlive();
    }
    return results;
}
