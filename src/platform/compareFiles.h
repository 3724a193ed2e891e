#pragma once

#include "filePair.h"

#include <string>
#include <vector>

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

// A live file about to be replaced, and every file that some copy puts in its place; the first
// is the source of the copy about to run.
struct FileVariants {
    std::string target;
    std::vector<std::string> variants;
};

// For each target, whether the copy about to run would destroy bytes that no variant holds: the
// target is a regular file holding none of them (the player changed it), and the first variant
// is there to replace it. Sizes are compared first, and bytes only with a variant of the same
// size; the same size and modification time as a variant count as the same bytes (copies keep
// their source's modification time). Found regardless of letter case.
std::vector<bool> filesChanged(const std::vector<FileVariants>& files);
