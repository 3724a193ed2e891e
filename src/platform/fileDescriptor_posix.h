#pragma once

#include <unistd.h>

// Owns one file descriptor.
class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    Fd(Fd&& other) noexcept : fd_(other.release()) {}
    Fd& operator=(Fd&& other) noexcept
    {
        reset(other.release());
        return *this;
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() { reset(-1); }

    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }

    // Closes now and tells whether the close succeeded (a write error can surface only here).
    bool close() { return ::close(release()) == 0; }

    // Gives up ownership.
    int release()
    {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }

private:
    void reset(int fd)
    {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = fd;
    }

    int fd_;
};
