#pragma once

#include <cstdint>
#include <string>

// One click at a time in the working directory: while one object is held, another process
// that makes one waits, for kClickLockPatienceMs at most. The core takes it once per command
// and never inside another. It leaves no file behind and ends with the process at the latest,
// so a killed click never blocks the next. Where no lock can be had, the click runs without.

// A click that another one keeps waiting this long gives up: the other one is hung, or not a
// click of this tool, and the player must hear of it rather than see the wait cursor for good.
// A click on a slow disk with its files held by other programs ends well within it.
constexpr uint32_t kClickLockPatienceMs = 60000;

class ClickLock {
public:
    explicit ClickLock(uint32_t patienceMs = kClickLockPatienceMs);
    ~ClickLock();
    ClickLock(const ClickLock&) = delete;
    ClickLock& operator=(const ClickLock&) = delete;

    // True when another process held the lock all the time this one waited: the command must
    // not begin.
    bool busy() const { return busy_; }

    // The lock, as the player is told it.
    static std::string name();

private:
    std::intptr_t held_;
    bool busy_ = false;
};
