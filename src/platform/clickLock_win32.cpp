#include "clickLock.h"

#include "fileBasics_win32.h"

#include <cstdio>
#include <string>

namespace {

// The name of the working directory's click lock: its volume and file index, which every
// spelling of its path shares; empty when they cannot be had.
std::string clickLockName()
{
    const HANDLE folder = CreateFileA(".", 0, kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (folder == INVALID_HANDLE_VALUE)
        return std::string();
    BY_HANDLE_FILE_INFORMATION info;
    const BOOL known = GetFileInformationByHandle(folder, &info);
    CloseHandle(folder);
    if (!known)
        return std::string();
    char name[64];
    std::snprintf(name, sizeof name, "Local\\br927config-click-%08lx-%08lx%08lx", info.dwVolumeSerialNumber,
                  info.nFileIndexHigh, info.nFileIndexLow);
    return name;
}

} // namespace

// A named mutex: no file is left in the player's folders, and one whose holder ended without
// releasing it is handed to the next waiter (WAIT_ABANDONED), so a killed click blocks nothing.
ClickLock::ClickLock() : held_(0)
{
    const std::string name = clickLockName();
    const HANDLE mutex = name.empty() ? nullptr : CreateMutexA(nullptr, FALSE, name.c_str());
    if (mutex == nullptr)
        return;
    const DWORD waited = WaitForSingleObject(mutex, INFINITE);
    if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) {
        CloseHandle(mutex);
        return;
    }
    held_ = reinterpret_cast<std::intptr_t>(mutex);
}

ClickLock::~ClickLock()
{
    if (held_ == 0)
        return;
    const HANDLE mutex = reinterpret_cast<HANDLE>(held_);
    ReleaseMutex(mutex);
    CloseHandle(mutex);
}
