#include "clickLock.h"

#include "fileBasics_win32.h"

#include <sddl.h>

#include <cstdio>
#include <string>

namespace {

// The working directory's identity: its volume and file index, which every spelling of its
// path shares; empty when they cannot be had.
std::string folderIdentity()
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
    std::snprintf(name, sizeof name, "br927config-click-%08lx-%08lx%08lx", info.dwVolumeSerialNumber,
                  info.nFileIndexHigh, info.nFileIndexLow);
    return name;
}

// What every user of the PC may do with the lock, and no more: wait for it and release it.
// Two players of one PC share the simulator's folder, so each must be able to wait on the
// other's click; neither may change who may use the lock.
const char kAnyUserMayWait[] = "D:(A;;0x00100001;;;WD)"; // SYNCHRONIZE | MUTEX_MODIFY_STATE for Everyone
const DWORD kWaitAccess = SYNCHRONIZE | MUTEX_MODIFY_STATE;

// The lock in the namespace every session on the machine sees, so that two players on one PC
// sharing the simulator's folder wait for each other, with the access list above. Where it
// cannot be created there, the session's own namespace serves.
HANDLE openLock(const std::string& identity)
{
    PSECURITY_DESCRIPTOR anyUser = nullptr;
    const bool described
        = ConvertStringSecurityDescriptorToSecurityDescriptorA(kAnyUserMayWait, SDDL_REVISION_1, &anyUser, nullptr) != 0;
    SECURITY_ATTRIBUTES shared = {sizeof shared, anyUser, FALSE};
    HANDLE lock = CreateMutexExA(described ? &shared : nullptr, ("Global\\" + identity).c_str(), 0, kWaitAccess);
    if (described)
        LocalFree(anyUser);
    if (lock == nullptr)
        lock = CreateMutexExA(nullptr, ("Local\\" + identity).c_str(), 0, kWaitAccess);
    return lock;
}

} // namespace

// A named mutex: no file is left in the player's folders, and one whose holder ended without
// releasing it is handed to the next waiter (WAIT_ABANDONED), so a killed click blocks nothing.
// A window waiting for it keeps answering. The click's patience with other programs' files
// lasts as long as the lock.
ClickLock::ClickLock(uint32_t patienceMs) : held_(0)
{
    const std::string identity = folderIdentity();
    const HANDLE mutex = identity.empty() ? nullptr : openLock(identity);
    if (mutex != nullptr && waitKeepingAlive(mutex, patienceMs))
        held_ = reinterpret_cast<std::intptr_t>(mutex);
    else if (mutex != nullptr) {
        busy_ = true;
        CloseHandle(mutex);
    }
    Patience::enter();
}

ClickLock::~ClickLock()
{
    Patience::leave();
    if (held_ == 0)
        return;
    const HANDLE mutex = reinterpret_cast<HANDLE>(held_);
    ReleaseMutex(mutex);
    CloseHandle(mutex);
}

std::string ClickLock::name()
{
    return "Global\\" + folderIdentity();
}
