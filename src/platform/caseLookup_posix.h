#pragma once

#include "fileDescriptor_posix.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <functional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

// Finds paths regardless of letter case on a file system that tells case apart, for one batch,
// one check or one plan: each object reads the disk afresh and keeps what it read for its own
// life only, so a long-lived process sees every change made between two batches.
//
// Each component of a path is tried as written first, which is what nearly every lookup
// finds. Only a component that is missing as written costs one reading of its folder, which
// yields the entry equal to it ignoring ASCII case (the bytewise smallest, where several are).
// Within the object's life a folder read once is not read again, and a folder path found once
// is not walked again; the names that the batch itself creates are added as it creates them.
// Each folder found is held open, and every call about its entries is made relative to it:
// walking a whole path costs a round trip a component on a network or user-space file system.
class CaseLookup {
public:
    // Where a path's last component lives: its folder as on disk, and its name (as on disk
    // when it exists, else as written).
    struct Place {
        std::string folder;
        std::string name;
        std::string path() const;
    };

    // The place of a path taken exactly as written.
    static Place asWritten(const std::string& path);

    // An entry named for the *at system calls: relative to its open folder, or (folder
    // AT_FDCWD) by its whole path from the working directory.
    struct At {
        int folder = AT_FDCWD;
        std::string name;
    };

    // The place's entry for the *at calls.
    At at(const Place& place);

    // The folder as this object found it on disk, held open for the object's life; AT_FDCWD for
    // the working directory or one that may be passed through but not opened (named by its path).
    int folderFd(const std::string& folder);

    // The place of path and what stands there, a symbolic link not followed: 0, or the error
    // (ENOENT with the place filled when only the entry is missing).
    int examine(const std::string& path, Place& place, struct stat& info);

    // The place of path; false when one of its folders is missing.
    bool place(const std::string& path, Place& place);

    // Opens an existing file for reading, without waiting on a FIFO or device; errno tells
    // why not.
    Fd openForReading(const std::string& path);

    // The same for a regular file only, which `info` then describes; empty for anything else.
    Fd openRegular(const std::string& path, struct stat& info);

    // The same, describing the file without opening it; false for anything but a regular file.
    bool findRegular(const std::string& path, struct stat& info);

    // findRegular for each path, `infos` describing the files found.
    std::vector<bool> findRegularFiles(const std::vector<std::string>& paths, std::vector<struct stat>& infos);

    // The folder as on disk, each component found as written where it is, else ignoring case;
    // empty when it is missing.
    std::string folderOnDisk(const std::string& written);

    // Tells the lookup that the batch is about to create this new entry.
    void created(const Place& place);

private:
    // The entries of one folder, as read once.
    struct Listing {
        std::unordered_set<std::string> names;
        std::unordered_map<std::string, std::string> smallestByFold; // lower-cased -> bytewise smallest entry
        void add(const std::string& name);
    };

    std::string entryIn(const std::string& folder, const std::string& name);
    std::string subfolderOnDisk(const std::string& folder, const std::string& name);
    bool openFolder(const At& entry, const std::string& folder);
    std::string listedAs(const std::string& folder, const std::string& name);
    At writtenEntry(const std::string& path, Place& found);
    int tryFound(const std::string& path, Place& found, const std::function<int(const At&)>& call);
    Listing* listing(const std::string& folder);

    std::unordered_map<std::string, std::string> folders_;  // folder as written -> as on disk ("" when missing)
    std::unordered_map<std::string, Listing> listings_;     // folder as on disk -> its entries
    std::unordered_set<std::string> unreadable_;            // folders that may be passed through, not read
    std::unordered_map<std::string, Fd> opened_;            // folder as on disk -> open for the *at calls
};

// The entry for the *at calls: by name in its open folder, by path where there is none.
inline CaseLookup::At atEntry(int folder, const CaseLookup::Place& place)
{
    return folder == AT_FDCWD ? CaseLookup::At{AT_FDCWD, place.path()} : CaseLookup::At{folder, place.name};
}

// A file's device and inode tell whether two paths name one file.
inline bool sameFile(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}
