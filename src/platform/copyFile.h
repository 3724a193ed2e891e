#pragma once

#include <cstddef>
#include <cstdio>

// The one service the core needs from the platform: whole-file replacement over relative
// paths, copies whose letter case does not matter (the content tree spells one folder both
// "Cabview" and "CABVIEW"). One implementation per platform; neither shows a message or throws.
//
// A file is replaced whole: the new content goes into a new file in the target's folder,
// named as the target with kNewFileSuffix added, which is then renamed over the target. A
// reader, a crash or a full disk sees the old content or the new, never a part; the old file
// is never written into, so the other names of a hard link keep their content and a symbolic
// link at the target is replaced by a regular file. A new file left behind by a process that
// was killed is replaced by the next replacement of the same target.

// No file of the add-on ends so: a new file can never be taken for a live one.
constexpr char kNewFileSuffix[] = ".br927-new";

// Replaces target with a copy of source, creating target when it is missing (never its
// folder). Fails, leaving target as it was, when source is missing or not a regular file,
// when target is a folder, FIFO or device, or the same file as source, or when the user may
// not write target. An existing target keeps its permission bits. Returns true on success.
bool copyFileReplacing(const char* source, const char* target);

// Replaces the file at path, spelt exactly as written, with the given bytes, under the same
// rules. Returns true when the bytes are in place.
bool writeFileReplacing(const char* path, const char* bytes, size_t size);

// Opens the file at path, spelt exactly as written, for reading when it is a regular file;
// null for anything else (missing, a folder, a FIFO or device), without waiting.
std::FILE* openRegularFile(const char* path);

// True when path names an existing regular file.
bool fileExists(const char* path);

// How a target file stands against its source, for checking the live tree without writing.
enum class FileComparison {
    Same,          // both exist and hold the same bytes
    Different,     // both exist, and their bytes differ or could not be read to the end
    TargetMissing, // the source exists, the target is no regular file
    SourceMissing, // the source is no readable regular file
};

// Compares the two files byte for byte, found regardless of letter case like the copy's,
// reading both in fixed memory and stopping at the first difference.
FileComparison compareFiles(const char* source, const char* target);
