#pragma once

// Why a step on a file was not done, as the player is told it.
enum class FileError {
    None,               // done
    SourceMissing,      // the file to copy is not there, or is no regular file
    FolderMissing,      // a folder on the target's path is not there
    NotAFile,           // a folder, FIFO or device stands where a file is to go
    AccessDenied,       // the user may not write the file (read-only, immutable, another user's)
    HeldByOtherProgram, // another program holds the file open and would not let go in time
    DiskFull,           // no room for the new file
    ReadWriteError,     // the system could not read or write the bytes
};
