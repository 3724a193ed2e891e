#pragma once

#include "scratchTree.h"

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>

inline std::string lowered(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](char c) {
        return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    });
    return text;
}

// The user that a process without root rights runs as.
constexpr uid_t kNobody = 65534;

// Runs work in a child process that has given up root for good, and returns what work
// returned (its text travels back through a pipe). Empty optional-like result "<none>" when
// the child could not drop its rights.
inline std::string runWithoutRoot(const std::function<std::string()>& work)
{
    int pipeEnds[2];
    if (::pipe(pipeEnds) != 0)
        return "<none>";
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(pipeEnds[0]);
        std::string result = "<none>";
        if (::setgroups(0, nullptr) == 0 && ::setgid(kNobody) == 0 && ::setuid(kNobody) == 0 && ::getuid() != 0)
            result = work();
        const char* p = result.data();
        for (size_t left = result.size(); left > 0;) {
            const ssize_t put = ::write(pipeEnds[1], p, left);
            if (put <= 0)
                break;
            p += put;
            left -= static_cast<size_t>(put);
        }
        ::_exit(0);
    }
    ::close(pipeEnds[1]);
    std::string result;
    char buffer[4096];
    for (ssize_t got; (got = ::read(pipeEnds[0], buffer, sizeof buffer)) > 0;)
        result.append(buffer, static_cast<size_t>(got));
    ::close(pipeEnds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    return result;
}
