#include "clickLock.h"

#include "fileBasics_win32.h"

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

// The lock in the namespace every session on the machine sees, so that two players on one PC
// sharing the simulator's folder wait for each other; with a DACL that lets any of them wait
// on it. Where it cannot be created there, the session's own namespace serves.
HANDLE openLock(const std::string& identity)
{
    SECURITY_DESCRIPTOR anyUser;
    SECURITY_ATTRIBUTES shared = {sizeof shared, &anyUser, FALSE};
    const bool describable = InitializeSecurityDescriptor(&anyUser, SECURITY_DESCRIPTOR_REVISION)
                             && SetSecurityDescriptorDacl(&anyUser, TRUE, nullptr, FALSE);
    const HANDLE global = CreateMutexA(describable ? &shared : nullptr, FALSE, ("Global\\" + identity).c_str());
    return global != nullptr ? global : CreateMutexA(nullptr, FALSE, ("Local\\" + identity).c_str());
}

} // namespace

// A named mutex: no file is left in the player's folders, and one whose holder ended without
// releasing it is handed to the next waiter (WAIT_ABANDONED), so a killed click blocks nothing.
// A window waiting for it keeps answering. The click's patience with other programs' files
// lasts as long as the lock.
ClickLock::ClickLock() : held_(0)
{
    const std::string identity = folderIdentity();
    const HANDLE mutex = identity.empty() ? nullptr : openLock(identity);
    if (mutex != nullptr && waitKeepingAlive(mutex, INFINITE))
        held_ = reinterpret_cast<std::intptr_t>(mutex);
    else if (mutex != nullptr)
        CloseHandle(mutex);
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
