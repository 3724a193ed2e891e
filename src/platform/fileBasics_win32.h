#pragma once

#include "fileError.h"

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

// What the Windows seam's files share. The Windows file system ignores letter case already,
// so paths go to the system as written.

// Files the tool opens stay open to every other program meanwhile: a reader, a writer, and
// one that renames or deletes them.
const DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

inline bool isFolder(DWORD attributes)
{
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Whether attributes read of a path (INVALID_FILE_ATTRIBUTES for none) tell a file there that
// is not a folder.
inline bool isExistingFile(DWORD attributes)
{
    return attributes != INVALID_FILE_ATTRIBUTES && !isFolder(attributes);
}

// An existing file that is not a folder.
inline bool fileExists(const char* path)
{
    return isExistingFile(GetFileAttributesA(path));
}

// Opens a file to read it from start to end, letting other programs read, write, rename and
// delete it meanwhile.
inline HANDLE openToRead(const char* path)
{
    return CreateFileA(path, GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
}

// What the seam needs to know of an open file: its size and number of names, its attributes
// and times. Its identity (volume and file index) is not among them: GetFileInformationByHandle
// reads that too, at the cost of a look for the file's volume, under Wine a walk up its path
// and a round trip for every file.
struct OpenFileFacts {
    FILE_STANDARD_INFO standard{};
    FILE_BASIC_INFO basic{};
};

// The facts of an open regular file; false for a folder, a device, or when they cannot be read.
bool regularFileFacts(HANDLE file, OpenFileFacts& facts);

// Gives the file the modification time of the other one, as a copy on Windows does; the
// other times and the attributes stay.
bool setModificationTime(HANDLE file, const OpenFileFacts& of);

// The path as the disk spells it: each existing component as the folder it lies in spells it;
// the rest, and "." and "..", as written.
std::string spellingOnDisk(const std::string& path);

// What the player is told of a failed call, by the error it left.
FileError fileErrorOf(DWORD error);

// Owns one file handle.
class Handle {
public:
    explicit Handle(HANDLE handle = INVALID_HANDLE_VALUE) : handle_(handle) {}
    ~Handle()
    {
        if (handle_ != INVALID_HANDLE_VALUE)
            CloseHandle(handle_);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    Handle& operator=(HANDLE handle)
    {
        if (handle_ != INVALID_HANDLE_VALUE)
            CloseHandle(handle_);
        handle_ = handle;
        return *this;
    }

    HANDLE get() const { return handle_; }
    explicit operator bool() const { return handle_ != INVALID_HANDLE_VALUE; }

    // Gives up ownership.
    HANDLE release()
    {
        const HANDLE handle = handle_;
        handle_ = INVALID_HANDLE_VALUE;
        return handle;
    }

private:
    HANDLE handle_;
};

// Bytes go from one file to another through a buffer of this size, held for one call.
constexpr DWORD kCopyBufferSize = 256 * 1024;

// Copies `size` bytes from the current offset of `from` to `to`, through a buffer of the
// caller's; a read that another program's lock refuses is tried again patiently. The error
// that stopped it, or ERROR_SUCCESS.
DWORD copyBytes(HANDLE from, HANDLE to, uint64_t size, char* buffer, DWORD bufferSize);

// ---- Patience with other programs --------------------------------------------------------
//
// Other programs open the player's files all the time: a virus scanner each file that was
// just written, an indexer or a cloud client the files of the folders it watches, the
// simulator the files it runs with. While one holds a file, Windows refuses to replace or
// rename it (ERROR_SHARING_VIOLATION, ERROR_ACCESS_DENIED, ERROR_LOCK_VIOLATION). Such a step
// is tried again after a wait, the waits growing, until the command's patience is spent; then
// the step fails as held by another program. A real refusal (a read-only file, a folder in a
// file's place, a missing folder) is told apart by the caller and fails at once.

// The figures. A scanner looks at a file within a few to some tens of milliseconds, so the
// first wait is short; each wait doubles up to one second, which lets an indexer or a cloud
// client that reads a file of a few MiB finish with it, without trying too often. A command
// waits ten seconds in all, over all its files: a holder that keeps a file longer is not
// about to let go (the simulator running, an editor), and the player hears of it well before
// a minute, the step named.
constexpr DWORD kFirstWaitMs = 10;
constexpr DWORD kLongestWaitMs = 1000;
constexpr DWORD kPatienceMs = 10000;

// Whether the error says without doubt that another program holds the file: it is open in a
// way that excludes this use of it.
inline bool heldOpen(DWORD error)
{
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

// Whether it may mean so: a refused access is also what a rename over a held file meets.
inline bool mayBeHeld(DWORD error)
{
    return heldOpen(error) || error == ERROR_ACCESS_DENIED;
}

// The waiting allowance of one command: a click holds one for as long as it holds the click
// lock; each call of the seam made outside a click holds one for itself. An inner one adds
// nothing, so a command never waits longer than kPatienceMs in all.
class Patience {
public:
    Patience() { enter(); }
    ~Patience() { leave(); }
    Patience(const Patience&) = delete;
    Patience& operator=(const Patience&) = delete;

    // The same for an owner that cannot hold the object (the click lock): leave() once for
    // each enter().
    static void enter();
    static void leave();

    // After a try that met another program's hold: waits the next wait of this step (tries
    // counts them) and returns true, or false when the command's patience is spent. A thread
    // that holds no allowance (one of the pool's) never waits.
    static bool waitForOtherProgram(int& tries);
};

// ---- A window that answers while a command works ------------------------------------------

// Calls the keep-alive callback (keepAlive_win32.h), at most once every kKeepAliveMs unless
// `now`: between the steps of a long batch, and while waiting.
constexpr DWORD kKeepAliveMs = 100;
void keepAlive(bool now = false);

// Waits for the handle (none: only the time), for at most timeoutMs (INFINITE: for ever),
// keeping the window alive meanwhile. True when the handle was signalled (or abandoned).
bool waitKeepingAlive(HANDLE handle, DWORD timeoutMs);

// ---- Flushes given at once ----------------------------------------------------------------

// Runs task(0) ... task(count - 1) side by side on a small fixed pool of threads and returns
// once every one has ended; the calling thread meanwhile keeps the window alive. A flush waits
// for the disk, and a disk takes the flushes it is given at once together: on a spinning disk
// each costs a turn of the platter, whether one or sixteen are waiting. The tasks must share
// nothing but what they are handed. They never wait for another program (that wait keeps the
// window alive, which only its own thread may do): a thread of the pool holds no allowance.
void runTogether(size_t count, const std::function<void(size_t)>& task);
