#include "clickLock.h"
#include "fileDescriptor_posix.h"

#include <fcntl.h>
#include <sys/file.h>

#include <cerrno>
#include <chrono>
#include <ctime>

// The lock is taken on the working directory itself: no file is left in the player's folders,
// and the kernel drops it when the process ends, however it ends.

namespace {

constexpr std::intptr_t kNotHeld = -1;

// The waits between two tries: short at first, as a click mostly ends soon, then at most this.
constexpr long kLongestTryWaitMs = 50;

void sleepMs(long ms)
{
    const struct timespec wait = {ms / 1000, (ms % 1000) * 1000000};
    ::nanosleep(&wait, nullptr);
}

} // namespace

ClickLock::ClickLock(uint32_t patienceMs) : held_(kNotHeld)
{
    Fd folder(::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folder)
        return;
    using Clock = std::chrono::steady_clock;
    const Clock::time_point giveUp = Clock::now() + std::chrono::milliseconds(patienceMs);
    for (long wait = 1;; wait = wait * 2 > kLongestTryWaitMs ? kLongestTryWaitMs : wait * 2) {
        if (::flock(folder.get(), LOCK_EX | LOCK_NB) == 0) {
            held_ = folder.release();
            return;
        }
        if (errno == EINTR)
            continue;
        if (errno != EWOULDBLOCK)
            return;
        const long left = static_cast<long>(
            std::chrono::duration_cast<std::chrono::milliseconds>(giveUp - Clock::now()).count());
        if (left <= 0) {
            busy_ = true;
            return;
        }
        sleepMs(wait < left ? wait : left);
    }
}

ClickLock::~ClickLock()
{
    if (held_ != kNotHeld)
        ::close(static_cast<int>(held_));
}

std::string ClickLock::name()
{
    char folder[4096];
    const std::string where = ::getcwd(folder, sizeof folder) != nullptr ? folder : ".";
    return where + " (flock)";
}
