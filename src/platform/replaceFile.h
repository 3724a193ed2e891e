#pragma once

#include "filePair.h"

#include <cstddef>
#include <vector>

// Whole-file replacement over relative paths. One implementation per platform; none shows a
// message or throws.
//
// A file is replaced whole: the new content goes into a new file in the target's folder,
// named as the target with kNewFileSuffix added, which is flushed to disk and then renamed
// over the target. A reader, a crash, a full disk or a power cut sees the old content or the
// new, never a part; the old file is never written into, so the other names of a hard link
// keep their content and a symbolic link at the target is replaced by a regular file.
//
// Letter case does not matter in the copies' paths (the content tree spells one folder both
// "Cabview" and "CABVIEW"). On a file system that tells case apart, each path component is
// taken as written where it exists, and otherwise matched to the bytewise smallest entry equal
// to it ignoring ASCII case; a new file gets the case written, and no folder is ever created.
// What one call reads of the folders it keeps for that call only, so every call sees the disk
// as it is.

// No file of the add-on ends so: a new file can never be taken for a live one.
constexpr char kNewFileSuffix[] = ".br927-new";

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
