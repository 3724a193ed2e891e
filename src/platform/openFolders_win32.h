#pragma once

#include "filePair.h"

#include <windows.h>

#include <map>
#include <string>
#include <vector>

// The folders of one call's files, each opened once, so that the calls at a file name it
// relative to its folder, and each read once, so that what stands at a file is found in its
// folder's listing: the system then walks the file's own name only, or nothing, not every
// folder of its path again. Under Wine every folder of a path costs a look-up on the disk at
// each call, which a file system that keeps no names in memory (a network or FUSE one) serves
// one by one. Held for one call of the seam, so every call sees the disk as it is. Filled on
// one thread; once filled, its files may be reached from any.
class OpenFolders {
public:
    OpenFolders() = default;
    ~OpenFolders();
    OpenFolders(const OpenFolders&) = delete;
    OpenFolders& operator=(const OpenFolders&) = delete;

    // Opens the folders of these paths that are not open yet. A folder that cannot be opened
    // is not held: the calls at its files then name them whole, and meet what stands there.
    void open(const std::vector<std::string>& paths);

    // The same for both sides of each pair.
    void open(const std::vector<FilePair>& pairs);

    // Reads the folders of these paths that are not read yet, side by side. A folder that
    // cannot be read is not held: its files are then looked at one by one.
    void list(const std::vector<std::string>& paths);

    // As CreateFileA(path, access, share, nullptr, disposition, flagsAndAttributes, nullptr),
    // the last error included, for OPEN_EXISTING and CREATE_NEW; of the flags, only
    // FILE_FLAG_SEQUENTIAL_SCAN is passed on.
    HANDLE createFile(const std::string& path, DWORD access, DWORD share, DWORD disposition, DWORD flagsAndAttributes) const;

    // As GetFileAttributesExA(path, GetFileExInfoStandard, &info), the last error included; as
    // its folder's listing tells, where it was read. A name is found as written, or else as
    // the first entry equal to it ignoring ASCII case (as Wine finds it on a disk that tells
    // case apart).
    bool attributes(const std::string& path, WIN32_FILE_ATTRIBUTE_DATA& info) const;

    // As GetFileAttributesA(path).
    DWORD attributes(const std::string& path) const;

    // As openToRead(path).
    HANDLE openToRead(const std::string& path) const;

private:
    // The open folder of the path and the name in it; nullptr when the folder is not held.
    HANDLE folderOf(const std::string& path, std::string& name) const;

    struct Entry {
        std::string name;
        WIN32_FILE_ATTRIBUTE_DATA info;
    };
    struct Listing {
        bool read = false;
        std::vector<Entry> entries;
    };
    static Listing read(const std::string& folder);

    std::map<std::string, HANDLE> folders_;   // by the folder's path as the calls write it
    std::map<std::string, Listing> listings_; // likewise
};
