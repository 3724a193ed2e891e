#pragma once

#include <cstdint>

// One click at a time in the working directory: while one object is held, another process
// that makes one waits. The core takes it once per command and never inside another. It
// leaves no file behind and ends with the process at the latest, so a killed click never
// blocks the next. Where no lock can be had, the click runs without.
class ClickLock {
public:
    ClickLock();
    ~ClickLock();
    ClickLock(const ClickLock&) = delete;
    ClickLock& operator=(const ClickLock&) = delete;

private:
    std::intptr_t held_;
};
