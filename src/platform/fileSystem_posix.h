#pragma once

#include "fileError.h"

#include <cstddef>
#include <string>

// The system calls that the POSIX seam's jobs share.

// What the player is told of a failed system call.
FileError fileErrorOf(int error);

// Writes all the bytes; false, with errno set, when the system takes them not all.
bool writeBytes(int to, const char* bytes, size_t size);

// Copies from the current offsets to the end of `from`, in the kernel where it can.
bool copyContent(int from, int to);

// Makes the entries of a folder durable: the names created, renamed or removed in it.
bool flushFolder(const std::string& folder);
