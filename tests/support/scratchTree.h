#pragma once

#include "contentTree.h"
#include "copyTables.h"

#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <functional>
#include <map>
#include <random>
#include <string>

// Every file below a root with its content, every folder as "<folder>".
using Snapshot = std::map<std::string, std::string>;

// The time that names a click's folder of kept files ("Sicherungen/2026-12-08_10-15-00", "_2"
// and on after it where two clicks share a second), which two runs of one test need not share.
// Matched by hand: <regex> would cost every test that includes this seconds to compile.
inline std::string withoutKeptTimes(std::string text)
{
    const std::string folder = "Sicherungen/";
    const std::string shape = "0000-00-00_00-00-00";
    const auto fits = [&](size_t at, char pattern) {
        return at < text.size() && (pattern == '0' ? std::isdigit(static_cast<unsigned char>(text[at])) != 0 : text[at] == pattern);
    };
    for (size_t at = text.find(folder); at != std::string::npos; at = text.find(folder, at + 1)) {
        const size_t time = at + folder.size();
        size_t end = time;
        while (end - time < shape.size() && fits(end, shape[end - time]))
            ++end;
        if (end - time < shape.size())
            continue;
        if (fits(end, '_') && fits(end + 1, '0'))
            for (++end; fits(end, '0'); ++end) {
            }
        text.replace(time, end - time, "<Zeit>");
    }
    return text;
}

// Windows finds a name in any letter case, and tells the case written: there paths are keyed
// in lower case.
inline std::string treeKey(const std::filesystem::path& path, const std::filesystem::path& root)
{
    const std::string key = withoutKeptTimes(std::filesystem::relative(path, root).generic_string());
#ifdef _WIN32
    return asciiLowered(key);
#else
    return key;
#endif
}

inline Snapshot snapshot(const std::string& root)
{
    Snapshot files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        files[treeKey(entry.path(), root)] = entry.is_regular_file() ? readWholeFile(entry.path().string()) : std::string("<folder>");
    }
    return files;
}

// Names each path that differs, rather than printing both trees whole.
inline void expectSameTree(const Snapshot& actual, const Snapshot& expected)
{
    for (const auto& [path, content] : expected) {
        const auto found = actual.find(path);
        EXPECT_TRUE(found != actual.end() && found->second == content) << "differs or lost: " << path;
    }
    for (const auto& entry : actual)
        EXPECT_EQ(expected.count(entry.first), 1u) << "new: " << entry.first;
}

// A fresh simulator root in a temporary folder, with the tool's working directory two levels
// below it ("ZEK/BR927"), made the process's current directory for the object's lifetime.
class ScratchTree {
public:
    ScratchTree() : previous_(std::filesystem::current_path())
    {
        std::random_device random;
        root_ = std::filesystem::temp_directory_path() / ("br927-test-" + std::to_string(random()));
        std::filesystem::create_directories(root_ / "ZEK" / "BR927");
        std::filesystem::current_path(root_ / "ZEK" / "BR927");
    }
    ~ScratchTree()
    {
        std::filesystem::current_path(previous_);
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }
    ScratchTree(const ScratchTree&) = delete;
    ScratchTree& operator=(const ScratchTree&) = delete;

    std::string root() const { return root_.string(); }
    std::string workDir() const { return (root_ / "ZEK" / "BR927").string(); }

    void createContent(const ContentTreeOptions& options = {}) { createContentTree(root(), options); }

    // The on-disk path a table path reaches, found regardless of letter case.
    std::string find(const std::string& tablePath) const { return findUnderRoot(root(), tablePath); }
    std::string read(const std::string& tablePath) const { return readWholeFile(find(tablePath)); }
    void remove(const std::string& tablePath) const { std::filesystem::remove_all(find(tablePath)); }
    Snapshot now() const { return snapshot(root()); }
    // The snapshot's key of the file a table path reaches: its path below the root on disk.
    std::string key(const std::string& tablePath) const { return treeKey(find(tablePath), root_); }

    // The tree as it is after the steps have copied, one after the other, save those skipped.
    Snapshot afterCopies(Snapshot tree, const std::vector<CopyStep>& steps,
                         const std::function<bool(const CopyStep&)>& skipped = {}) const
    {
        for (const CopyStep& step : steps) {
            if (!skipped || !skipped(step))
                tree[key(step.target)] = tree.at(key(step.source));
        }
        return tree;
    }

private:
    std::filesystem::path previous_;
    std::filesystem::path root_;
};

// The state file in the current directory, byte for byte; "<folder>" for a folder.
inline std::string stateFileBytes()
{
    return std::filesystem::is_directory("br927.zekconfig") ? "<folder>" : readWholeFile("br927.zekconfig");
}

inline void writeStateFile(const std::string& bytes)
{
    writeWholeFile("br927.zekconfig", bytes);
}

#ifndef _WIN32
#include <fcntl.h>
#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

// Makes a file unwritable even for root (CI runs as root, so permission bits would not do),
// for the object's lifetime. held() is false where the file system offers no such flag.
class ImmutableFile {
public:
    explicit ImmutableFile(std::string path) : path_(std::move(path)), held_(chattr("+i") == 0) {}
    ~ImmutableFile() { if (held_) chattr("-i"); }
    bool held() const { return held_; }

private:
    int chattr(const char* flag) const { return std::system(("chattr " + std::string(flag) + " '" + path_ + "' 2>/dev/null").c_str()); }
    std::string path_;
    bool held_;
};

// Runs work in a child process that has given up root for good (as user and group 65534) and
// returns the text work returned; "<none>" when there was no root to give up. The child ends
// there whatever work does, so that it never goes on running the tests.
inline std::string runWithoutRoot(const std::function<std::string()>& work)
{
    int pipeEnds[2];
    if (::getuid() != 0 || ::pipe2(pipeEnds, O_CLOEXEC) != 0)
        return "<none>";
    const pid_t child = ::fork();
    if (child == 0) {
        std::string result = "<none>";
        try {
            if (::setgroups(0, nullptr) == 0 && ::setgid(65534) == 0 && ::setuid(65534) == 0)
                result = work();
        } catch (const std::exception& error) {
            result = std::string("<threw: ") + error.what() + ">";
        } catch (...) {
            result = "<threw>";
        }
        const ssize_t written = ::write(pipeEnds[1], result.data(), result.size());
        ::_exit(written == static_cast<ssize_t>(result.size()) ? 0 : 1);
    }
    ::close(pipeEnds[1]);
    if (child < 0) {
        ::close(pipeEnds[0]);
        return "<fork failed>";
    }
    std::string result;
    char buffer[4096];
    for (ssize_t got; (got = ::read(pipeEnds[0], buffer, sizeof buffer)) > 0;)
        result.append(buffer, static_cast<size_t>(got));
    ::close(pipeEnds[0]);
    ::waitpid(child, nullptr, 0);
    return result;
}
#endif
