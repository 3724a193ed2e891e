#pragma once

#include "contentTree.h"

#include <filesystem>
#include <map>
#include <random>
#include <string>

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
    bool exists(const std::string& tablePath) const { return !find(tablePath).empty(); }
    void remove(const std::string& tablePath) const { std::filesystem::remove_all(find(tablePath)); }

private:
    std::filesystem::path previous_;
    std::filesystem::path root_;
};

#ifndef _WIN32
#include <cstdlib>

// Makes a file unwritable even for root (CI runs as root, so permission bits would not do),
// for the object's lifetime. Skips the test where the file system offers no such flag.
class ImmutableFile {
public:
    explicit ImmutableFile(std::string path) : path_(std::move(path))
    {
        held_ = std::system(("chattr +i '" + path_ + "' 2>/dev/null").c_str()) == 0;
    }
    ~ImmutableFile()
    {
        if (held_)
            std::system(("chattr -i '" + path_ + "'").c_str());
    }
    ImmutableFile(const ImmutableFile&) = delete;
    ImmutableFile& operator=(const ImmutableFile&) = delete;
    bool held() const { return held_; }

private:
    std::string path_;
    bool held_ = false;
};
#endif

// Every file below a root with its content, every folder as "<folder>".
using Snapshot = std::map<std::string, std::string>;

inline Snapshot snapshot(const std::string& root)
{
    Snapshot files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        const std::string path = std::filesystem::relative(entry.path(), root).generic_string();
        files[path] = entry.is_regular_file() ? readWholeFile(entry.path().string()) : std::string("<folder>");
    }
    return files;
}

// The state file in the current directory, byte for byte.
inline std::string stateFileBytes()
{
    return readWholeFile("br927.zekconfig");
}

inline void writeStateFile(const std::string& bytes)
{
    writeWholeFile("br927.zekconfig", bytes);
}
