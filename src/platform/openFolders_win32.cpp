#include "openFolders_win32.h"

#include "fileBasics_win32.h"

#include <winternl.h>

namespace {

// The folder part of a path and its last component; false for a bare name.
bool splitPath(const std::string& path, std::string& folder, std::string& name)
{
    const size_t slash = path.find_last_of("/\\");
    if (slash == std::string::npos || slash == 0 || slash + 1 == path.size())
        return false;
    folder = path.substr(0, slash);
    name = path.substr(slash + 1);
    return name != "." && name != "..";
}

// A name relative to a folder handle, as the native calls take it.
class RelativeName {
public:
    RelativeName(HANDLE folder, const std::string& name)
    {
        const int length = MultiByteToWideChar(CP_ACP, 0, name.c_str(), static_cast<int>(name.size()), nullptr, 0);
        wide_.resize(static_cast<size_t>(length > 0 ? length : 0));
        if (length > 0)
            MultiByteToWideChar(CP_ACP, 0, name.c_str(), static_cast<int>(name.size()), &wide_[0], length);
        unicode_.Buffer = wide_.empty() ? nullptr : &wide_[0];
        unicode_.Length = unicode_.MaximumLength = static_cast<USHORT>(wide_.size() * sizeof(WCHAR));
        InitializeObjectAttributes(&attributes_, &unicode_, OBJ_CASE_INSENSITIVE, folder, nullptr);
    }
    RelativeName(const RelativeName&) = delete;
    RelativeName& operator=(const RelativeName&) = delete;

    POBJECT_ATTRIBUTES get() { return &attributes_; }

private:
    std::wstring wide_;
    UNICODE_STRING unicode_{};
    OBJECT_ATTRIBUTES attributes_{};
};

// What CreateFileA asks of the system for these flags.
ULONG createOptions(DWORD flagsAndAttributes)
{
    ULONG options = FILE_NON_DIRECTORY_FILE | FILE_SYNCHRONOUS_IO_NONALERT;
    if ((flagsAndAttributes & FILE_FLAG_SEQUENTIAL_SCAN) != 0)
        options |= FILE_SEQUENTIAL_ONLY;
    return options;
}

bool equalIgnoringAsciiCase(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

void setLastErrorOf(NTSTATUS status, DWORD disposition)
{
    // CreateFileA tells a name taken by CREATE_NEW so.
    const bool taken = static_cast<ULONG>(status) == 0xC0000035UL; // STATUS_OBJECT_NAME_COLLISION
    SetLastError(taken && disposition == CREATE_NEW ? ERROR_FILE_EXISTS : RtlNtStatusToDosError(status));
}

} // namespace

OpenFolders::~OpenFolders()
{
    for (const auto& folder : folders_) {
        if (folder.second != INVALID_HANDLE_VALUE)
            CloseHandle(folder.second);
    }
}

void OpenFolders::open(const std::vector<std::string>& paths)
{
    std::string folder;
    std::string name;
    for (const std::string& path : paths) {
        if (!splitPath(path, folder, name) || folders_.count(folder) > 0)
            continue;
        folders_[folder] = CreateFileA(folder.c_str(), FILE_LIST_DIRECTORY | FILE_TRAVERSE, kShareAll, nullptr, OPEN_EXISTING,
                                       FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    }
}

void OpenFolders::open(const std::vector<FilePair>& pairs)
{
    std::vector<std::string> paths;
    for (const FilePair& pair : pairs) {
        paths.push_back(pair.source);
        paths.push_back(pair.target);
    }
    open(paths);
}

HANDLE OpenFolders::folderOf(const std::string& path, std::string& name) const
{
    std::string folder;
    if (!splitPath(path, folder, name))
        return nullptr;
    const auto found = folders_.find(folder);
    return found == folders_.end() || found->second == INVALID_HANDLE_VALUE ? nullptr : found->second;
}

HANDLE OpenFolders::createFile(const std::string& path, DWORD access, DWORD share, DWORD disposition,
                               DWORD flagsAndAttributes) const
{
    std::string name;
    const HANDLE folder = folderOf(path, name);
    if (folder == nullptr || (disposition != OPEN_EXISTING && disposition != CREATE_NEW))
        return CreateFileA(path.c_str(), access, share, nullptr, disposition, flagsAndAttributes, nullptr);
    RelativeName relative(folder, name);
    IO_STATUS_BLOCK io{};
    HANDLE file = nullptr;
    const NTSTATUS status = NtCreateFile(&file, access | SYNCHRONIZE | FILE_READ_ATTRIBUTES, relative.get(), &io, nullptr,
                                         flagsAndAttributes & 0x7fb7 /* FILE_ATTRIBUTE_VALID_FLAGS */, share,
                                         disposition == CREATE_NEW ? FILE_CREATE : FILE_OPEN,
                                         createOptions(flagsAndAttributes), nullptr, 0);
    if (status < 0) {
        setLastErrorOf(status, disposition);
        return INVALID_HANDLE_VALUE;
    }
    return file;
}

void OpenFolders::list(const std::vector<std::string>& paths)
{
    std::vector<std::string> unread;
    std::string folder;
    std::string name;
    for (const std::string& path : paths) {
        if (splitPath(path, folder, name) && listings_.count(folder) == 0) {
            listings_[folder];
            unread.push_back(folder);
        }
    }
    std::vector<Listing> read(unread.size());
    runTogether(unread.size(), [&](size_t each) { read[each] = OpenFolders::read(unread[each]); });
    for (size_t each = 0; each < unread.size(); ++each)
        listings_[unread[each]] = std::move(read[each]);
}

OpenFolders::Listing OpenFolders::read(const std::string& folder)
{
    Listing listing;
    WIN32_FIND_DATAA entry;
    const HANDLE search = FindFirstFileExA((folder + "\\*").c_str(), FindExInfoBasic, &entry, FindExSearchNameMatch, nullptr,
                                           FIND_FIRST_EX_LARGE_FETCH);
    if (search == INVALID_HANDLE_VALUE) {
        listing.read = GetLastError() == ERROR_FILE_NOT_FOUND; // read, and empty
        return listing;
    }
    do {
        WIN32_FILE_ATTRIBUTE_DATA info;
        info.dwFileAttributes = entry.dwFileAttributes;
        info.ftCreationTime = entry.ftCreationTime;
        info.ftLastAccessTime = entry.ftLastAccessTime;
        info.ftLastWriteTime = entry.ftLastWriteTime;
        info.nFileSizeHigh = entry.nFileSizeHigh;
        info.nFileSizeLow = entry.nFileSizeLow;
        listing.entries.push_back({entry.cFileName, info});
    } while (FindNextFileA(search, &entry));
    listing.read = GetLastError() == ERROR_NO_MORE_FILES;
    FindClose(search);
    return listing;
}

bool OpenFolders::attributes(const std::string& path, WIN32_FILE_ATTRIBUTE_DATA& info) const
{
    std::string folder;
    std::string name;
    const auto listed = splitPath(path, folder, name) ? listings_.find(folder) : listings_.end();
    if (listed == listings_.end() || !listed->second.read)
        return GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &info) != FALSE;
    const Entry* found = nullptr;
    for (const Entry& entry : listed->second.entries) {
        if (entry.name == name) {
            found = &entry;
            break;
        }
        if (found == nullptr && equalIgnoringAsciiCase(entry.name, name))
            found = &entry;
    }
    if (found == nullptr) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return false;
    }
    info = found->info;
    return true;
}

DWORD OpenFolders::attributes(const std::string& path) const
{
    WIN32_FILE_ATTRIBUTE_DATA info;
    return attributes(path, info) ? info.dwFileAttributes : INVALID_FILE_ATTRIBUTES;
}

HANDLE OpenFolders::openToRead(const std::string& path) const
{
    return createFile(path, GENERIC_READ, kShareAll, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN);
}
