#include "compareFiles.h"

#include "fileBasics_win32.h"
#include "openFolders_win32.h"

#include <cstring>

namespace {

// A regular file: opened, and neither a folder nor a device.
bool isFile(const Handle& file)
{
    OpenFileFacts facts;
    return file && regularFileFacts(file.get(), facts);
}

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

FileComparison compare(const OpenFolders& folders, const std::string& source, const std::string& target)
{
    const Handle from(folders.openToRead(source));
    if (!isFile(from))
        return FileComparison::SourceMissing;
    const Handle to(folders.openToRead(target));
    if (!isFile(to)) {
        // A file that is there but may not be read cannot be told equal.
        const bool lockedFile = !to && isExistingFile(folders.attributes(target));
        return lockedFile ? FileComparison::Different : FileComparison::TargetMissing;
    }
    if (!sameSize(from.get(), to.get()))
        return FileComparison::Different;
    return sameBytes(from.get(), to.get()) ? FileComparison::Same : FileComparison::Different;
}

} // namespace

std::vector<FileComparison> compareFiles(const std::vector<FilePair>& pairs)
{
    OpenFolders folders;
    folders.open(pairs);
    std::vector<FileComparison> found;
    for (const FilePair& pair : pairs)
        found.push_back(compare(folders, pair.source, pair.target));
    return found;
}

namespace {

// Size and modification time of a regular file; false for anything else.
bool findRegular(const OpenFolders& folders, const std::string& path, WIN32_FILE_ATTRIBUTE_DATA& info)
{
    return folders.attributes(path, info) && !isFolder(info.dwFileAttributes);
}

bool sameSize(const WIN32_FILE_ATTRIBUTE_DATA& a, const WIN32_FILE_ATTRIBUTE_DATA& b)
{
    return a.nFileSizeHigh == b.nFileSizeHigh && a.nFileSizeLow == b.nFileSizeLow;
}

bool sameBytes(const OpenFolders& folders, const std::string& a, const std::string& b)
{
    const Handle first(folders.openToRead(a));
    const Handle second(folders.openToRead(b));
    return isFile(first) && isFile(second) && sameBytes(first.get(), second.get());
}

// Variants are looked at by size and time first, and bytes are read only when none of them
// tells so (a live file usually holds the variant that the copy is about to replace, with its
// time; the variants often share a size). Two names of one file share size and time too.
bool changed(const OpenFolders& folders, const FileVariants& file)
{
    WIN32_FILE_ATTRIBUTE_DATA targetInfo;
    if (file.variants.empty() || !findRegular(folders, file.target, targetInfo))
        return false;
    std::vector<const std::string*> sameSizeOnly;
    bool replaced = false;
    for (size_t i = 0; i < file.variants.size(); ++i) {
        WIN32_FILE_ATTRIBUTE_DATA variantInfo;
        if (!findRegular(folders, file.variants[i], variantInfo))
            continue;
        replaced = replaced || i == 0;
        if (!sameSize(variantInfo, targetInfo))
            continue;
        if (CompareFileTime(&variantInfo.ftLastWriteTime, &targetInfo.ftLastWriteTime) == 0)
            return false;
        sameSizeOnly.push_back(&file.variants[i]);
    }
    for (const std::string* variant : sameSizeOnly) {
        if (sameBytes(folders, file.target, *variant))
            return false;
    }
    return replaced;
}

} // namespace

std::vector<bool> filesChanged(const std::vector<FileVariants>& files)
{
    std::vector<std::string> paths;
    for (const FileVariants& file : files) {
        paths.push_back(file.target);
        paths.insert(paths.end(), file.variants.begin(), file.variants.end());
    }
    OpenFolders folders;
    folders.list(paths);
    std::vector<bool> found;
    for (const FileVariants& file : files) {
        found.push_back(changed(folders, file));
        keepAlive();
    }
    return found;
}
