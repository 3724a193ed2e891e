#pragma once

#include "fileError.h"
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

// How many new files a batch holds open between their filling and their rename: each holds a
// descriptor or handle, and a batch stays well below any limit on them.
constexpr size_t kMostNewFilesWaiting = 128;

// Replaces each target with a copy of its source, creating a missing target (never its
// folder), and tells for each pair why it failed, or FileError::None when it succeeded. A pair
// fails, its target left as it was, when its source is missing or not a regular file, when its
// target is a folder, FIFO or device, or when the user may not write the target. A target that
// is already its source's own file (a hard link, or one file spelt two ways) is a step done
// with nothing copied. An existing target keeps its permission bits; the new one takes its
// source's modification time, as a copy on Windows does. When the call returns, every
// replacement that succeeded is on disk, its new name included.
std::vector<FileError> copyFilesReplacing(const std::vector<FilePair>& copies);

// One pair alone.
inline FileError copyFileReplacing(const char* source, const char* target)
{
    return copyFilesReplacing({{source, target}}).front();
}

// Replaces the file at path with the given bytes, under the same rules; an existing file is
// found regardless of letter case and keeps its spelling. None when the bytes are on disk.
FileError writeFileReplacing(const char* path, const char* bytes, size_t size);
