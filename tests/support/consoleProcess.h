#pragma once

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

// The console program run in the current directory as a child process, talking through
// pipes, for tests and measurements. Its standard output goes to `output` when one is given.
// The pipes are closed on exec, so a console started later never holds an earlier one's
// input open.
class Console {
public:
    Console(const std::string& program, const std::vector<std::string>& args, int output = -1)
    {
        int in[2], out[2], err[2];
        if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0)
            throw std::runtime_error("pipe");
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(in[0], 0);
            ::dup2(output >= 0 ? output : out[1], 1);
            ::dup2(err[1], 2);
            for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]})
                ::close(fd);
            std::vector<char*> argv{const_cast<char*>(program.c_str())};
            for (const std::string& arg : args)
                argv.push_back(const_cast<char*>(arg.c_str()));
            argv.push_back(nullptr);
            ::execv(program.c_str(), argv.data());
            ::_exit(127);
        }
        ::close(in[0]);
        ::close(out[1]);
        ::close(err[1]);
        input_ = in[1];
        output_ = ::fdopen(out[0], "r");
        errors_ = err[0];
    }
    // Closes the pipes before it waits, so that a console still writing ends instead of
    // blocking on a full pipe, and lets one that a test stopped and left run on to its end.
    ~Console()
    {
        closeInput();
        if (output_ != nullptr)
            closeOutput();
        ::close(errors_);
        if (pid_ > 0)
            ::kill(pid_, SIGCONT);
        finish();
    }

    void send(const std::string& line)
    {
        const std::string text = line + "\n";
        if (::write(input_, text.data(), text.size()) != static_cast<ssize_t>(text.size()))
            throw std::runtime_error("cannot write to the console");
    }
    void closeInput()
    {
        if (input_ >= 0)
            ::close(input_);
        input_ = -1;
    }
    // Stops reading: the console's later writes find no reader.
    void closeOutput()
    {
        std::fclose(output_);
        output_ = nullptr;
    }

    // Reads lines until one starts with "Cabview " (the last row of a paint).
    std::string readUntilRows()
    {
        std::string text;
        char line[4096];
        while (std::fgets(line, sizeof line, output_) != nullptr) {
            text += line;
            if (std::string(line).rfind("Cabview ", 0) == 0)
                break;
        }
        return text;
    }

    std::string readRest()
    {
        std::string text;
        char buffer[4096];
        for (size_t got; (got = std::fread(buffer, 1, sizeof buffer, output_)) > 0;)
            text.append(buffer, got);
        return text;
    }

    std::string readErrors() { return readErrorsUntil(std::string()); }

    // Reads the console's standard error until it holds `marker` (none: until it ends).
    std::string readErrorsUntil(const std::string& marker)
    {
        std::string text;
        char buffer[4096];
        for (ssize_t got; (marker.empty() || text.find(marker) == std::string::npos)
                          && (got = ::read(errors_, buffer, sizeof buffer)) > 0;)
            text.append(buffer, static_cast<size_t>(got));
        return text;
    }

    pid_t pid() const { return pid_; }

    // How many descriptors the console has open, counted from outside.
    int openDescriptors() const
    {
        const std::filesystem::directory_iterator listing("/proc/" + std::to_string(pid_) + "/fd");
        return static_cast<int>(std::distance(listing, std::filesystem::directory_iterator()));
    }

    // Closes the input, waits for the end and returns the exit code (again when called again).
    int finish()
    {
        closeInput();
        int status = 0;
        if (pid_ > 0 && ::waitpid(pid_, &status, 0) == pid_)
            exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        pid_ = -1;
        return exitCode_;
    }

private:
    pid_t pid_ = -1;
    int exitCode_ = -1;
    int input_ = -1;
    std::FILE* output_ = nullptr;
    int errors_ = -1;
};

// A run of the console to its end, with no input: what it printed on each stream, its exit code.
struct ConsoleRun {
    std::string out;
    std::string err;
    int exitCode;
};

inline ConsoleRun runToEnd(const std::string& program, const std::vector<std::string>& args)
{
    Console console(program, args);
    console.closeInput();
    ConsoleRun run{console.readRest(), console.readErrors(), 0};
    run.exitCode = console.finish();
    return run;
}

// What strace says when it may not trace here (ptrace refused, as in many containers); empty
// when it can.
inline std::string ptraceRefused()
{
    const ConsoleRun probe = runToEnd("/usr/bin/strace", {"-qq", "-o", "/dev/null", "/bin/true"});
    return probe.exitCode != 0 && probe.err.find("Operation not permitted") != std::string::npos ? probe.err : std::string();
}
