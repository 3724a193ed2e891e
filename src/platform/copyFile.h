#pragma once

// The one service the core needs from the platform: whole-file copies over relative paths
// whose letter case does not matter (the content tree spells one folder both "Cabview" and
// "CABVIEW"). One implementation per platform; neither shows a message or throws.

// Copies the whole content of source over target, creating target when it is missing.
// Returns true on success, false when anything failed.
bool copyFileReplacing(const char* source, const char* target);

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
