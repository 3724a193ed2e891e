#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// What the core needs from the platform: whole-file replacement over relative paths, copies
// and comparisons whose letter case does not matter (the content tree spells one folder both
// "Cabview" and "CABVIEW"), and one lock for a click. One implementation per platform; none
// shows a message or throws.
//
// A file is replaced whole: the new content goes into a new file in the target's folder,
// named as the target with kNewFileSuffix added, which is flushed to disk and then renamed
// over the target. A reader, a crash, a full disk or a power cut sees the old content or the
// new, never a part; the old file is never written into, so the other names of a hard link
// keep their content and a symbolic link at the target is replaced by a regular file.
//
// On a file system that tells letter case apart, each path component is taken as written
// where it exists, and otherwise matched to the bytewise smallest entry equal to it ignoring
// ASCII case; a new file gets the case written, and no folder is ever created. What one call
// reads of the folders it keeps for that call only, so every call sees the disk as it is.

// No file of the add-on ends so: a new file can never be taken for a live one.
constexpr char kNewFileSuffix[] = ".br927-new";

// One copy of a batch, or one pair of a check: paths relative to the working directory.
struct FilePair {
    std::string source;
    std::string target;
};

// Replaces each target with a copy of its source, creating a missing target (never its
// folder), and tells for each pair whether it succeeded. A pair fails, its target left as it
// was, when its source is missing or not a regular file, when its target is a folder, FIFO
// or device, or the same file as its source, or when the user may not write the target. An
// existing target keeps its permission bits. When the call returns, every replacement that
// succeeded is on disk, its new name included.
std::vector<bool> copyFilesReplacing(const std::vector<FilePair>& copies);

// One pair alone.
inline bool copyFileReplacing(const char* source, const char* target)
{
    return copyFilesReplacing({{source, target}}).front();
}

// Replaces the file at path, spelt exactly as written, with the given bytes, under the same
// rules. Returns true when the bytes are on disk under that name.
bool writeFileReplacing(const char* path, const char* bytes, size_t size);

// Opens the file at path, spelt exactly as written, for reading when it is a regular file;
// null for anything else (missing, a folder, a FIFO or device), without waiting.
std::FILE* openRegularFile(const char* path);

// True when path names an existing regular file, found regardless of letter case.
bool fileExists(const char* path);

// How a target file stands against its source, for checking the live tree without writing.
enum class FileComparison {
    Same,          // both exist and hold the same bytes
    Different,     // both exist, and their bytes differ or could not be read to the end
    TargetMissing, // the source exists, the target is no regular file
    SourceMissing, // the source is no readable regular file
};

// Compares each target with its source byte for byte, found regardless of letter case like
// the copies', reading in fixed memory and stopping at the first difference.
std::vector<FileComparison> compareFiles(const std::vector<FilePair>& pairs);

// One click at a time in the working directory: while one object is held, another process
// (or thread) that makes one waits; one made inside another by the same thread does not. It
// leaves no file behind and ends with the process at the latest, so a killed click never
// blocks the next. Where no lock can be had, the click runs without.
class ClickLock {
public:
    ClickLock();
    ~ClickLock();
    ClickLock(const ClickLock&) = delete;
    ClickLock& operator=(const ClickLock&) = delete;

private:
    std::intptr_t held_;
};
