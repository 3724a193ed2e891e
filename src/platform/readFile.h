#pragma once

#include <cstdio>
#include <string>
#include <vector>

// Finding and opening files to read them, without waiting on a FIFO or device.

// Opens the file at path, found regardless of letter case, for reading when it is a regular
// file; null for anything else (missing, a folder, a FIFO or device).
std::FILE* openRegularFile(const char* path);

// For each path, whether it names an existing regular file, found regardless of letter case
// as the copies find theirs.
std::vector<bool> filesExist(const std::vector<std::string>& paths);

// Each path as the disk spells it: every component that exists as found regardless of letter
// case, the rest as written.
std::vector<std::string> spellingsOnDisk(const std::vector<std::string>& paths);

// Whether path names an existing folder, found regardless of letter case.
bool folderExists(const char* path);

// Whether something other than a regular file (a folder, a FIFO, a device) stands at path,
// found regardless of letter case.
bool nonFileExists(const char* path);
