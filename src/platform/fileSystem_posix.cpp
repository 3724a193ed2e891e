#include "fileSystem_posix.h"
#include "fileDescriptor_posix.h"

#include <fcntl.h>

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <system_error>
#include <thread>

// What the player is told of a failed system call.
FileError fileErrorOf(int error)
{
    switch (error) {
    case ENOSPC:
    case EDQUOT:
        return FileError::DiskFull;
    case EACCES:
    case EPERM:
    case EROFS:
        return FileError::AccessDenied;
    case EBUSY:
    case ETXTBSY:
        return FileError::HeldByOtherProgram;
    case ENOENT:
    case ENOTDIR:
        return FileError::FolderMissing;
    case EISDIR:
        return FileError::NotAFile;
    default:
        return FileError::ReadWriteError;
    }
}

// Writes all the bytes. A write that takes none of a non-empty rest would never end the loop,
// so it fails the copy like an error.
bool writeBytes(int to, const char* bytes, size_t size)
{
    while (size > 0) {
        const ssize_t put = ::write(to, bytes, size);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0) {
            if (put == 0)
                errno = EIO;
            return false;
        }
        bytes += put;
        size -= static_cast<size_t>(put);
    }
    return true;
}

namespace {

// Plain read/write through a fixed buffer, for file systems without an in-kernel copy.
bool copyThroughBuffer(int from, int to)
{
    char buffer[128 * 1024];
    for (;;) {
        const ssize_t got = ::read(from, buffer, sizeof buffer);
        if (got == 0)
            return true;
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (!writeBytes(to, buffer, static_cast<size_t>(got)))
            return false;
    }
}

} // namespace

// Copies from the current offsets to the end of `from`, in the kernel where it can.
bool copyContent(int from, int to)
{
#ifdef __linux__
    for (;;) {
        const ssize_t copied = ::copy_file_range(from, nullptr, to, nullptr, 1 << 30, 0);
        if (copied == 0)
            return true;
        if (copied > 0)
            continue;
        if (errno == EINTR)
            continue;
        // Both offsets have moved only by what was copied, so the fallback carries on from there.
        if (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP)
            break;
        return false;
    }
#endif
    return copyThroughBuffer(from, to);
}

namespace {

// Makes the entries of the folder named relative to `at` durable. A file system that cannot
// flush one folder is flushed whole.
bool flushFolderAt(int at, const char* folder)
{
    const Fd entries(::openat(at, folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
#ifdef __linux__
    // A folder the user may write in but not list cannot be opened to flush: every file
    // system's writes are flushed instead, its entries among them (rare, and costly only then).
    if (!entries && errno == EACCES) {
        ::sync();
        return true;
    }
#endif
    if (!entries)
        return false;
    if (::fsync(entries.get()) == 0)
        return true;
#ifdef __linux__
    return errno == EINVAL && ::syncfs(entries.get()) == 0;
#else
    return false;
#endif
}

} // namespace

// Makes the entries of a folder durable: the renames into it.
bool flushFolder(const std::string& folder)
{
    return flushFolderAt(AT_FDCWD, folder.c_str());
}

std::vector<FileError> flushFolders(const std::vector<std::string>& folders)
{
    return flushFolders(folders, std::vector<int>(folders.size(), AT_FDCWD));
}

std::vector<FileError> flushFolders(const std::vector<std::string>& folders, const std::vector<int>& opened)
{
    std::vector<FileError> results(folders.size());
    runTogether(folders.size(), [&](size_t each) {
        const bool held = opened[each] != AT_FDCWD;
        results[each] = flushFolderAt(opened[each], held ? "." : folders[each].c_str()) ? FileError::None : fileErrorOf(errno);
    });
    return results;
}

Fd createNewFile(int folder, const std::string& name)
{
    const int flags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
    Fd file(::openat(folder, name.c_str(), flags, 0666));
    if (!file && errno == EEXIST && ::unlinkat(folder, name.c_str(), 0) == 0)
        file = Fd(::openat(folder, name.c_str(), flags, 0666));
    return file;
}

// Where the time cannot be set, the file is only read once more when it is next compared.
void keepModificationTime(int fd, const struct stat& source)
{
    const struct timespec times[2] = {{0, UTIME_OMIT}, source.st_mtim};
    const int ignored = ::futimens(fd, times);
    (void)ignored;
}

namespace {

// Sixteen flushes at once keep a disk's queue full (a spinning disk merges them, an SSD or a
// network file system serves them in parallel); a batch's hundreds of files would only wait
// in more threads' stacks.
constexpr size_t kFlushThreads = 16;

} // namespace

void runTogether(size_t count, const std::function<void(size_t)>& task)
{
    std::atomic<size_t> next{0};
    const auto work = [&] {
        for (size_t each; (each = next++) < count;)
            task(each);
    };
    std::vector<std::thread> helpers;
    // This thread takes its share; a thread the system refuses leaves more for the others.
    try {
        while (helpers.size() + 1 < std::min(count, kFlushThreads))
            helpers.emplace_back(work);
    } catch (const std::system_error&) {
    }
    work();
    for (std::thread& helper : helpers)
        helper.join();
}

FlushPool::~FlushPool()
{
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        ending_ = true;
    }
    given_.notify_all();
    for (std::thread& thread : threads_)
        thread.join();
}

void FlushPool::start(std::function<void()> task)
{
    std::unique_lock<std::mutex> lock(mutex_);
    queued_.push_back(std::move(task));
    ++unfinished_;
    // A thread the system refuses leaves the task to the others, or to this one.
    if (queued_.size() > idle_ && threads_.size() < kFlushThreads) {
        try {
            threads_.emplace_back([this] { work(); });
        } catch (const std::system_error&) {
        }
    }
    if (threads_.empty())
        runNext(lock);
    else
        given_.notify_one();
}

void FlushPool::runNext(std::unique_lock<std::mutex>& lock)
{
    const std::function<void()> task = std::move(queued_.front());
    queued_.pop_front();
    lock.unlock();
    task();
    lock.lock();
    if (--unfinished_ == 0)
        finished_.notify_all();
}

void FlushPool::wait()
{
    std::unique_lock<std::mutex> lock(mutex_);
    finished_.wait(lock, [this] { return unfinished_ == 0; });
}

// Every task queued is run, even when the pool is ending.
void FlushPool::work()
{
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        ++idle_;
        given_.wait(lock, [this] { return ending_ || !queued_.empty(); });
        --idle_;
        if (queued_.empty())
            return;
        runNext(lock);
    }
}
