#pragma once

// The content tree of the benchmarks, with realistic file sizes.

#include "contentTree.h"

#include <cstddef>
#include <filesystem>
#include <string>

constexpr size_t KiB = 1024;
constexpr size_t MiB = 1024 * KiB;

inline bool endsWith(const std::string& text, const std::string& end)
{
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// A realistic size for the file, scaled.
inline size_t realisticSize(const std::string& name, double scale)
{
    size_t size = 40 * KiB; // engine definitions
    if (endsWith(name, ".s"))
        size = 2 * MiB;
    else if (endsWith(name, ".ace"))
        size = 3 * MiB / 2;
    else if (endsWith(name, ".cvf"))
        size = 60 * KiB;
    return static_cast<size_t>(static_cast<double>(size) * scale);
}

// Brings every file of the tree to its realistic size, its one line repeated.
inline void growFiles(const std::string& root, double scale)
{
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        if (!entry.is_regular_file())
            continue;
        const std::string line = readWholeFile(entry.path().string());
        const size_t size = realisticSize(asciiLowered(entry.path().filename().string()), scale);
        std::string content;
        content.reserve(size + line.size());
        while (content.size() < size)
            content += line;
        content.resize(size);
        writeWholeFile(entry.path().string(), content);
    }
}
