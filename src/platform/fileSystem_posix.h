#pragma once

#include "fileDescriptor_posix.h"
#include "fileError.h"

#include <sys/stat.h>

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// The system calls that the POSIX seam's jobs share.

// What the player is told of a failed system call.
FileError fileErrorOf(int error);

// Writes all the bytes; false, with errno set, when the system takes them not all.
bool writeBytes(int to, const char* bytes, size_t size);

// Copies from the current offsets to the end of `from`, in the kernel where it can.
bool copyContent(int from, int to);

// Makes the entries of a folder durable: the names created, renamed or removed in it.
bool flushFolder(const std::string& folder);

// Flushes the folders side by side; for each, FileError::None when its entries are durable.
std::vector<FileError> flushFolders(const std::vector<std::string>& folders);

// The same for folders held open (AT_FDCWD: named by the path only).
std::vector<FileError> flushFolders(const std::vector<std::string>& folders, const std::vector<int>& opened);

// Creates a new file of the tool's own (named with kNewFileSuffix) to fill. One left by a
// killed click is removed first (a click holds the click lock, so no other one is filling it):
// it is never written into, as it might be linked elsewhere by now.
Fd createNewFile(int folder, const std::string& name);

// Gives the file the source's modification time, as a copy on Windows does: a file that still
// has its variant's size and time is then known unchanged without reading it.
void keepModificationTime(int fd, const struct stat& source);

// Runs task(0) ... task(count - 1) side by side on a small fixed pool of threads and returns
// once every one has ended. A flush waits for the disk, and a disk takes the flushes it is
// given at once together: on a spinning disk each costs a turn of the platter, whether one or
// sixteen are waiting. The tasks must share nothing but what they are handed.
void runTogether(size_t count, const std::function<void(size_t)>& task);

// Runs each task given on the same small pool of threads as soon as it is given, while the
// caller goes on: a new file's flush waits for the disk while the next files are copied.
// The tasks must share nothing but what they are handed.
class FlushPool {
public:
    FlushPool() = default;
    FlushPool(const FlushPool&) = delete;
    FlushPool& operator=(const FlushPool&) = delete;
    // Waits for every task given.
    ~FlushPool();

    // Runs the task on a thread of the pool; here and now when the system gives no thread.
    void start(std::function<void()> task);

    // Returns once every task given has ended.
    void wait();

private:
    void work();
    void runNext(std::unique_lock<std::mutex>& lock);

    std::mutex mutex_;
    std::condition_variable given_;    // a task queued, or the pool ending
    std::condition_variable finished_; // no task left
    std::deque<std::function<void()>> queued_;
    size_t unfinished_ = 0; // queued or running
    size_t idle_ = 0;
    bool ending_ = false;
    std::vector<std::thread> threads_;
};
