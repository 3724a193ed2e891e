#include "fileBasics_win32.h"

#include "keepAlive_win32.h"

#include <algorithm>
#include <atomic>
#include <vector>

FileError fileErrorOf(DWORD error)
{
    switch (error) {
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return FileError::HeldByOtherProgram;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
        return FileError::AccessDenied;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return FileError::DiskFull;
    case ERROR_FILE_NOT_FOUND:
        return FileError::SourceMissing;
    case ERROR_PATH_NOT_FOUND:
    case ERROR_DIRECTORY:
        return FileError::FolderMissing;
    default:
        return FileError::ReadWriteError;
    }
}

std::string spellingOnDisk(const std::string& path)
{
    std::string spelt;
    size_t start = 0;
    bool found = true;
    while (start <= path.size()) {
        const size_t end = std::min(path.find_first_of("/\\", start), path.size());
        std::string component = path.substr(start, end - start);
        const bool named = !component.empty() && component != "." && component != "..";
        if (found && named) {
            WIN32_FIND_DATAA entry;
            const HANDLE search = FindFirstFileA((spelt + component).c_str(), &entry);
            found = search != INVALID_HANDLE_VALUE;
            if (found) {
                FindClose(search);
                component = entry.cFileName;
            }
        }
        spelt += component;
        if (end < path.size())
            spelt += path[end];
        start = end + 1;
    }
    return spelt;
}

bool regularFileFacts(HANDLE file, OpenFileFacts& facts)
{
    return GetFileType(file) == FILE_TYPE_DISK
           && GetFileInformationByHandleEx(file, FileStandardInfo, &facts.standard, sizeof facts.standard)
           && GetFileInformationByHandleEx(file, FileBasicInfo, &facts.basic, sizeof facts.basic)
           && !facts.standard.Directory;
}

bool setModificationTime(HANDLE file, const OpenFileFacts& of)
{
    FILE_BASIC_INFO times{}; // a time or attributes of 0 are left as they are
    times.LastWriteTime = of.basic.LastWriteTime;
    return SetFileInformationByHandle(file, FileBasicInfo, &times, sizeof times) != FALSE;
}

DWORD copyBytes(HANDLE from, HANDLE to, uint64_t size, char* buffer, DWORD bufferSize)
{
    int tries = 0;
    while (size > 0) {
        const DWORD want = static_cast<DWORD>(std::min<uint64_t>(size, bufferSize));
        DWORD got = 0;
        if (!ReadFile(from, buffer, want, &got, nullptr)) {
            const DWORD error = GetLastError();
            if (error == ERROR_LOCK_VIOLATION && Patience::waitForOtherProgram(tries))
                continue;
            return error;
        }
        if (got == 0)
            return ERROR_HANDLE_EOF; // the file shrank meanwhile
        DWORD put = 0;
        if (!WriteFile(to, buffer, got, &put, nullptr))
            return GetLastError();
        if (put != got)
            return ERROR_WRITE_FAULT;
        size -= got;
    }
    return ERROR_SUCCESS;
}

namespace {

// One command's allowance at a time per thread: how deep the allowances are nested, and how
// long the outermost one has waited so far.
thread_local int patienceDepth = 0;
thread_local DWORD waitedMs = 0;

KeepAlive keepAliveHooks = {};
ULONGLONG lastKeepAlive = 0;

} // namespace

void Patience::enter()
{
    if (patienceDepth++ == 0)
        waitedMs = 0;
}

void Patience::leave()
{
    --patienceDepth;
}

bool Patience::waitForOtherProgram(int& tries)
{
    if (patienceDepth == 0 || waitedMs >= kPatienceMs)
        return false;
    const DWORD growing = kFirstWaitMs << std::min(tries, 10);
    const DWORD wait = std::min({growing, kLongestWaitMs, kPatienceMs - waitedMs});
    ++tries;
    waitedMs += wait;
    waitKeepingAlive(nullptr, wait);
    return true;
}

void setKeepAlive(const KeepAlive& keepAlive)
{
    keepAliveHooks = keepAlive;
}

void keepAlive(bool now)
{
    if (keepAliveHooks.answer == nullptr)
        return;
    const ULONGLONG time = GetTickCount64();
    if (!now && time - lastKeepAlive < kKeepAliveMs)
        return;
    lastKeepAlive = time;
    keepAliveHooks.answer();
}

// With a window to keep alive, the wait also ends at every message that arrives for this
// thread; the callback then answers it, and the wait goes on for the rest of its time.
bool waitKeepingAlive(HANDLE handle, DWORD timeoutMs)
{
    const DWORD handles = handle != nullptr ? 1 : 0;
    if (keepAliveHooks.answer == nullptr) {
        if (handles == 0) {
            Sleep(timeoutMs);
            return false;
        }
        const DWORD waited = WaitForSingleObject(handle, timeoutMs);
        return waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
    }
    const ULONGLONG start = GetTickCount64();
    for (;;) {
        keepAlive(true);
        const ULONGLONG elapsed = GetTickCount64() - start;
        const DWORD left = timeoutMs == INFINITE ? INFINITE
                           : elapsed >= timeoutMs ? 0
                                                  : timeoutMs - static_cast<DWORD>(elapsed);
        const DWORD waited = keepAliveHooks.wait(handles, &handle, left);
        if (handles == 1 && (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED_0))
            return true;
        if (waited != WAIT_OBJECT_0 + handles)
            return false; // the time is up, or the wait failed
    }
}

namespace {

// Sixteen flushes at once keep a disk's queue full (a spinning disk merges them, an SSD or a
// network file system serves them in parallel); a batch's hundreds of files would only wait
// in more threads' stacks.
constexpr size_t kFlushThreads = 16;

// The address space each pool thread reserves for its stack; only what it uses is committed.
constexpr DWORD kPoolStackBytes = 256 * 1024;

// One runTogether call, shared by its threads. The calling thread holds one count of
// `running` while it starts them, so the event can only be set once all have started and
// every one has ended.
struct Together {
    const std::function<void(size_t)>& task;
    const size_t count;
    std::atomic<size_t> next{0};
    std::atomic<size_t> running{1};
    HANDLE ended = nullptr;
};

void runShare(Together& together)
{
    for (size_t each; (each = together.next++) < together.count;)
        together.task(each);
}

DWORD WINAPI runThread(void* parameter)
{
    Together& together = *static_cast<Together*>(parameter);
    runShare(together);
    if (--together.running == 0)
        SetEvent(together.ended);
    return 0;
}

} // namespace

void runTogether(size_t count, const std::function<void(size_t)>& task)
{
    Together together{task, count};
    together.ended = count > 1 ? CreateEventA(nullptr, TRUE, FALSE, nullptr) : nullptr;
    std::vector<HANDLE> threads;
    while (together.ended != nullptr && threads.size() < std::min(count, kFlushThreads)) {
        ++together.running;
        const HANDLE thread = CreateThread(nullptr, kPoolStackBytes, runThread, &together, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
        if (thread == nullptr) {
            --together.running;
            break;
        }
        threads.push_back(thread);
    }
    if (--together.running == 0 && together.ended != nullptr)
        SetEvent(together.ended);
    // Without a thread of its own, the calling thread does the work itself.
    if (threads.empty()) {
        runShare(together);
    } else {
        waitKeepingAlive(together.ended, INFINITE);
        WaitForMultipleObjects(static_cast<DWORD>(threads.size()), threads.data(), TRUE, INFINITE);
    }
    for (const HANDLE thread : threads)
        CloseHandle(thread);
    if (together.ended != nullptr)
        CloseHandle(together.ended);
}
