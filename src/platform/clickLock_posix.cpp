#include "copyFile.h"
#include "fileDescriptor_posix.h"

#include <fcntl.h>
#include <sys/file.h>

#include <cerrno>

// The lock is taken on the working directory itself: no file is left in the player's folders,
// and the kernel drops it when the process ends, however it ends.

namespace {

constexpr std::intptr_t kNotHeld = -1;
constexpr std::intptr_t kHeldOutside = -2; // an outer lock of this thread holds it

// The locks this thread holds: an inner one must not wait for the outer one, as a Windows mutex
// does not wait for its owner either.
thread_local int locksHeld = 0;

} // namespace

ClickLock::ClickLock() : held_(kNotHeld)
{
    if (locksHeld > 0) {
        held_ = kHeldOutside;
        ++locksHeld;
        return;
    }
    Fd folder(::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folder)
        return;
    while (::flock(folder.get(), LOCK_EX) != 0) {
        if (errno != EINTR)
            return;
    }
    held_ = folder.release();
    ++locksHeld;
}

ClickLock::~ClickLock()
{
    if (held_ == kNotHeld)
        return;
    --locksHeld;
    if (held_ != kHeldOutside)
        ::close(static_cast<int>(held_));
}
