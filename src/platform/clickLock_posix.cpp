#include "clickLock.h"
#include "fileDescriptor_posix.h"

#include <fcntl.h>
#include <sys/file.h>

#include <cerrno>

// The lock is taken on the working directory itself: no file is left in the player's folders,
// and the kernel drops it when the process ends, however it ends.

namespace {

constexpr std::intptr_t kNotHeld = -1;

} // namespace

ClickLock::ClickLock() : held_(kNotHeld)
{
    Fd folder(::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folder)
        return;
    while (::flock(folder.get(), LOCK_EX) != 0) {
        if (errno != EINTR)
            return;
    }
    held_ = folder.release();
}

ClickLock::~ClickLock()
{
    if (held_ != kNotHeld)
        ::close(static_cast<int>(held_));
}
