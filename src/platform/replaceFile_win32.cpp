#include "replaceFile.h"

#include "newFiles_win32.h"

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

// Whole-file replacement with one handle per new file, in the rounds of newFiles_win32.h.

namespace {

// The attributes a file may be given; the others (folder, reparse point, compression and
// the like) belong to how the file is stored.
const DWORD kSettableAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM
                                  | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED
                                  | FILE_ATTRIBUTE_OFFLINE | FILE_ATTRIBUTE_TEMPORARY;

// After a rename refused as if the target were held: a real refusal (the target turned
// read-only or into a folder meanwhile, or the user may not delete it), or None when another
// program holds it. Only a refused rename pays for the look.
FileError refusalAt(Target target)
{
    if (const FileError refused = examine(target, OpenFolders()); refused != FileError::None || !target.exists())
        return refused;
    const Handle probe(CreateFileA(target.path.c_str(), DELETE, kShareAll, nullptr, OPEN_EXISTING, 0, nullptr));
    return !probe && GetLastError() == ERROR_ACCESS_DENIED ? FileError::AccessDenied : FileError::None;
}

// The new file's attributes: the target's own, never read-only, or plain ones for a new file.
DWORD attributesFor(const Target& target)
{
    const DWORD kept = target.exists() ? target.attributes & kSettableAttributes & ~FILE_ATTRIBUTE_READONLY : 0;
    return kept != 0 ? kept : FILE_ATTRIBUTE_NORMAL;
}

// A copy's source, open to be read, with what the copy needs to know of it.
struct Source {
    Handle file;
    OpenFileFacts facts;
};

// Opens the source to read it, waiting while another program holds it.
FileError openSource(const OpenFolders& folders, const std::string& path, Source& source)
{
    for (int tries = 0;;) {
        source.file = folders.openToRead(path);
        if (source.file)
            break;
        const DWORD error = GetLastError();
        if (heldOpen(error) && Patience::waitForOtherProgram(tries))
            continue;
        // A folder cannot be opened so; it is no source.
        if (error == ERROR_ACCESS_DENIED && !isFolder(folders.attributes(path)))
            return FileError::AccessDenied;
        return heldOpen(error) ? FileError::HeldByOtherProgram : FileError::SourceMissing;
    }
    return regularFileFacts(source.file.get(), source.facts) ? FileError::None : FileError::SourceMissing;
}

// Whether the target is the source's own file: a second name of it (a hard link), or the
// same name spelt another way. Only then can it be; only then are their identities read.
bool isSourceItself(const FilePair& copy, const Source& source, const Target& target)
{
    if (!target.exists() || (source.facts.standard.NumberOfLinks < 2 && lstrcmpiA(copy.source.c_str(), copy.target.c_str()) != 0))
        return false;
    const Handle file(CreateFileA(target.path.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    // Their volumes and file indexes, which every name of a file shares.
    BY_HANDLE_FILE_INFORMATION of;
    BY_HANDLE_FILE_INFORMATION from;
    return file && GetFileInformationByHandle(file.get(), &of) && GetFileInformationByHandle(source.file.get(), &from)
           && of.dwVolumeSerialNumber == from.dwVolumeSerialNumber && of.nFileIndexHigh == from.nFileIndexHigh
           && of.nFileIndexLow == from.nFileIndexLow;
}

// Fills the step's new file; the step's result when it ends here instead, with no new file.
FileError prepareCopy(const OpenFolders& folders, const FilePair& copy, std::unique_ptr<NewFile>& file)
{
    Source source;
    if (const FileError error = openSource(folders, copy.source, source); error != FileError::None)
        return error;
    Target target{copy.target};
    const FileError refused = examine(target, folders);
    // A live file that is its source's own file already holds its bytes: nothing to copy.
    if (isSourceItself(copy, source, target))
        return FileError::None;
    if (refused != FileError::None)
        return refused;
    auto filling = std::make_unique<NewFile>(target);
    if (const FileError error = filling->create(folders); error != FileError::None)
        return error;
    const uint64_t size = static_cast<uint64_t>(source.facts.standard.EndOfFile.QuadPart);
    std::vector<char> buffer(static_cast<size_t>(std::min<uint64_t>(size, kCopyBufferSize)));
    const DWORD copied = copyBytes(source.file.get(), filling->get(), size, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (copied != ERROR_SUCCESS)
        return fileErrorOf(copied);
    if (!setModificationTime(filling->get(), source.facts))
        return fileErrorOf(GetLastError());
    file = std::move(filling);
    return FileError::None;
}

// Where the round that begins at `first` ends: before the first step that writes a file an
// earlier step of the round writes (that one's rename must come first), or once the round holds
// kMostNewFilesWaiting new files.
size_t roundEnd(const std::vector<FilePair>& copies, size_t first)
{
    size_t end = first;
    for (; end < copies.size() && end - first < kMostNewFilesWaiting; ++end) {
        for (size_t earlier = first; earlier < end; ++earlier) {
            if (lstrcmpiA(copies[earlier].target.c_str(), copies[end].target.c_str()) == 0)
                return end;
        }
    }
    return end;
}

// One round's new files filled and flushed, side by side. A try from a thread of the pool
// waits for no other program (only this thread may, keeping the window alive): a step that
// met one's hold is tried again here, with the command's patience, once the others are done.
void fillRound(const OpenFolders& folders, const std::vector<FilePair>& copies, size_t first, size_t end,
               Replacements& replacements)
{
    std::vector<FileError> results(end - first);
    std::vector<std::unique_ptr<NewFile>> files(end - first);
    const auto fillAndFlush = [&](size_t each) {
        results[each] = prepareCopy(folders, copies[first + each], files[each]);
        if (results[each] == FileError::None && files[each])
            results[each] = files[each]->flush();
    };
    runTogether(end - first, fillAndFlush);
    for (size_t each = 0; each < end - first; ++each) {
        if (results[each] == FileError::HeldByOtherProgram) {
            files[each].reset();
            fillAndFlush(each);
            keepAlive();
        }
        replacements.ended(first + each, results[each]);
        if (results[each] == FileError::None && files[each])
            replacements.flushed(first + each, std::move(files[each]));
    }
}

} // namespace

std::vector<char> renameRequest(const std::string& target)
{
    char full[MAX_PATH * 2];
    const DWORD fullLength = GetFullPathNameA(target.c_str(), sizeof full, full, nullptr);
    const std::string name = std::string("\\??\\") + (fullLength > 0 && fullLength < sizeof full ? full : target.c_str());
    const int length = MultiByteToWideChar(CP_ACP, 0, name.c_str(), -1, nullptr, 0);
    std::vector<char> request(sizeof(FILE_RENAME_INFO) + static_cast<size_t>(length) * sizeof(WCHAR));
    auto* info = reinterpret_cast<FILE_RENAME_INFO*>(request.data());
    info->ReplaceIfExists = TRUE;
    info->RootDirectory = nullptr;
    info->FileNameLength = static_cast<DWORD>(length - 1) * sizeof(WCHAR);
    MultiByteToWideChar(CP_ACP, 0, name.c_str(), -1, info->FileName, length);
    return request;
}

FileError examine(Target& target, const OpenFolders& folders)
{
    target.attributes = folders.attributes(target.path);
    if (!target.exists()) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND ? FileError::None : fileErrorOf(error);
    }
    if (isFolder(target.attributes))
        return FileError::NotAFile;
    return (target.attributes & FILE_ATTRIBUTE_READONLY) != 0 ? FileError::AccessDenied : FileError::None;
}

NewFile::~NewFile()
{
    if (file_ && !renamed_) {
        FILE_DISPOSITION_INFO remove = {TRUE};
        SetFileInformationByHandle(file_.get(), FileDispositionInfo, &remove, sizeof remove);
    }
}

FileError NewFile::create(const OpenFolders& folders)
{
    int removals = 0;
    for (int tries = 0;;) {
        file_ = folders.createFile(path_, GENERIC_WRITE | DELETE, kShareAll, CREATE_NEW, attributesFor(target_));
        if (file_)
            return FileError::None;
        DWORD error = GetLastError();
        if (error == ERROR_FILE_EXISTS) {
            // A folder there is nobody's leftover: it is refused, and left as it is.
            if (isFolder(folders.attributes(path_)))
                return FileError::NotAFile;
            SetFileAttributesA(path_.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (!DeleteFileA(path_.c_str()))
                error = GetLastError();
            else if (++removals <= 2)
                continue;
            // else made again at once, over and over: some program is writing it
        }
        // A leftover that another program holds cannot go yet: it is open, or was removed
        // while open and is gone only once closed (a refused access after its removal).
        // One the user may not remove is refused at once.
        const bool held = heldOpen(error) || error == ERROR_FILE_EXISTS
                          || (error == ERROR_ACCESS_DENIED && (removals > 0 || refusalAt(Target{path_}) == FileError::None));
        if (!held || !Patience::waitForOtherProgram(tries))
            return held ? FileError::HeldByOtherProgram : fileErrorOf(error);
    }
}

FileError NewFile::flush()
{
    return FlushFileBuffers(file_.get()) ? FileError::None : fileErrorOf(GetLastError());
}

FileError NewFile::rename()
{
    const std::vector<char> request = renameRequest(target_.path);
    for (int tries = 0;;) {
        if (SetFileInformationByHandle(file_.get(), FileRenameInfo, const_cast<char*>(request.data()),
                                       static_cast<DWORD>(request.size()))) {
            renamed_ = true;
            return FileError::None;
        }
        const DWORD error = GetLastError();
        if (!mayBeHeld(error))
            return fileErrorOf(error);
        if (const FileError refused = refusalAt(target_); refused != FileError::None)
            return refused;
        if (!Patience::waitForOtherProgram(tries))
            return FileError::HeldByOtherProgram;
    }
}

FileError NewFile::replaceTarget()
{
    FileError result = flush();
    if (result == FileError::None)
        result = rename();
    return result == FileError::None ? flush() : result;
}

void Replacements::filled(size_t step, std::unique_ptr<NewFile> file)
{
    if (waiting_.size() >= kMostNewFilesWaiting)
        renameWaiting();
    waiting_.push_back({step, std::move(file), false});
}

void Replacements::flushed(size_t step, std::unique_ptr<NewFile> file)
{
    waiting_.push_back({step, std::move(file), true});
}

void Replacements::flushWaiting()
{
    std::vector<Waiting*> due;
    for (Waiting& each : waiting_) {
        if (!each.flushed && results_[each.step] == FileError::None)
            due.push_back(&each);
    }
    runTogether(due.size(), [this, &due](size_t each) { results_[due[each]->step] = due[each]->file->flush(); });
}

void Replacements::renameWaiting()
{
    flushWaiting();
    for (Waiting& each : waiting_) {
        FileError& result = results_[each.step];
        if (result == FileError::None)
            result = each.file->rename();
        each.flushed = false; // its rename is flushed next
        keepAlive();
    }
    flushWaiting();
    waiting_.clear();
}

std::vector<FileError> Replacements::finish()
{
    renameWaiting();
    return results_;
}

std::vector<FileError> copyFilesReplacing(const std::vector<FilePair>& copies)
{
    const Patience patience;
    OpenFolders folders;
    folders.open(copies);
    Replacements replacements(copies.size());
    for (size_t first = 0; first < copies.size();) {
        const size_t end = roundEnd(copies, first);
        fillRound(folders, copies, first, end, replacements);
        replacements.renameWaiting();
        first = end;
    }
    return replacements.finish();
}

// An existing file keeps its spelling: the rename takes its name as found.
FileError writeFileReplacing(const char* path, const char* bytes, size_t size)
{
    const Patience patience;
    const OpenFolders wholePaths;
    Target target{path};
    if (const FileError refused = examine(target, wholePaths); refused != FileError::None)
        return refused;
    if (target.exists())
        target.path = spellingOnDisk(target.path);
    NewFile file(target);
    if (const FileError error = file.create(wholePaths); error != FileError::None)
        return error;
    DWORD written = 0;
    if (!WriteFile(file.get(), bytes, static_cast<DWORD>(size), &written, nullptr))
        return fileErrorOf(GetLastError());
    if (written != size)
        return FileError::ReadWriteError;
    return file.replaceTarget();
}
