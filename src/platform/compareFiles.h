#pragma once

#include "filePair.h"

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
