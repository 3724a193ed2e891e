#include "keepFile.h"

#include "newFiles_win32.h"

#include <memory>
#include <string>
#include <vector>

// A kept file is a second name of the live file where the file system allows it (NTFS): the
// copy that replaces the live file then leaves the old bytes to that name alone, at no cost.
// Where not (FAT, exFAT, another volume), the bytes are copied into a new file beside the kept
// path, which is flushed and renamed to it: a kept file under its own name is always whole.
// The file system's journal writes the new name before the rename that later replaces the
// live one.

namespace {

// Creates the folder and every missing folder above it, noting each one made, outermost first.
bool createFolders(const std::string& folder, std::vector<std::string>& made)
{
    const DWORD attributes = GetFileAttributesA(folder.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        SetLastError(ERROR_DIRECTORY);
        return isFolder(attributes);
    }
    const size_t slash = folder.find_last_of("/\\");
    if (slash != std::string::npos && slash > 0 && !createFolders(folder.substr(0, slash), made))
        return false;
    if (CreateDirectoryA(folder.c_str(), nullptr)) {
        made.push_back(folder);
        return true;
    }
    return GetLastError() == ERROR_ALREADY_EXISTS;
}

// A keep that failed leaves no empty folders of its own behind: those it made are removed again,
// innermost first, unless another keep has put a file into one of them.
void removeFoldersMade(const std::vector<std::string>& made)
{
    for (auto folder = made.rbegin(); folder != made.rend(); ++folder) {
        if (!RemoveDirectoryA(folder->c_str()))
            return;
    }
}

bool linkNotPossible(DWORD error)
{
    return error == ERROR_NOT_SAME_DEVICE || error == ERROR_INVALID_FUNCTION || error == ERROR_NOT_SUPPORTED
           || error == ERROR_TOO_MANY_LINKS || error == ERROR_ACCESS_DENIED;
}

// A copy of the live file with its modification time, in a new file that then waits among the
// copies for its flush and rename.
FileError copyKept(Replacements& copies, size_t step, const FilePair& keep, std::string& buffer)
{
    const Handle from(openToRead(keep.source.c_str()));
    OpenFileFacts facts;
    if (!from || !regularFileFacts(from.get(), facts))
        return fileErrorOf(GetLastError());
    auto kept = std::make_unique<NewFile>(Target{keep.target});
    if (const FileError error = kept->create(OpenFolders()); error != FileError::None)
        return error;
    if (buffer.empty())
        buffer.resize(kCopyBufferSize);
    const uint64_t size = static_cast<uint64_t>(facts.standard.EndOfFile.QuadPart);
    const DWORD copied = copyBytes(from.get(), kept->get(), size, &buffer[0], kCopyBufferSize);
    if (copied != ERROR_SUCCESS)
        return fileErrorOf(copied);
    if (!setModificationTime(kept->get(), facts))
        return fileErrorOf(GetLastError());
    copies.filled(step, std::move(kept));
    return FileError::None;
}

FileError keepOne(Replacements& copies, size_t step, const FilePair& keep, std::string& buffer,
                  std::vector<std::string>& made)
{
    if (!fileExists(keep.source.c_str()))
        return FileError::SourceMissing;
    const size_t slash = keep.target.find_last_of("/\\");
    if (slash != std::string::npos && !createFolders(keep.target.substr(0, slash), made))
        return fileErrorOf(GetLastError());
    for (int tries = 0;;) {
        if (CreateHardLinkA(keep.target.c_str(), keep.source.c_str(), nullptr))
            return FileError::None;
        const DWORD error = GetLastError();
        if (heldOpen(error) && Patience::waitForOtherProgram(tries))
            continue;
        if (!linkNotPossible(error))
            return fileErrorOf(error);
        return copyKept(copies, step, keep, buffer);
    }
}

} // namespace

std::vector<FileError> keepFiles(const std::vector<FilePair>& keeps)
{
    const Patience patience;
    std::string buffer;
    std::vector<std::vector<std::string>> made(keeps.size());
    Replacements copies(keeps.size());
    for (size_t step = 0; step < keeps.size(); ++step) {
        copies.ended(step, keepOne(copies, step, keeps[step], buffer, made[step]));
        keepAlive();
    }
    const std::vector<FileError> results = copies.finish();
    for (size_t step = 0; step < keeps.size(); ++step) {
        if (results[step] != FileError::None)
            removeFoldersMade(made[step]);
    }
    return results;
}
