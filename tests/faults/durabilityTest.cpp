// Durability, read off the system calls of real clicks: a new file's data must reach the disk
// before its name replaces the live file, and the renames themselves before the click tells
// of its outcome. A missing flush loses nothing in a test that does not cut the power, so the
// order of the calls is what is checked.

#include "scratchTree.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <regex>

namespace fs = std::filesystem;

namespace {

// What one click did, in order: each flushed path (a file or a folder), each rename, and where
// its outcome message was written.
struct Trace {
    std::map<std::string, size_t> lastFlush; // absolute path -> index of its last flush
    std::vector<std::pair<size_t, std::pair<fs::path, fs::path>>> renames;
    size_t message = 0;
};

// Runs the console under strace in the current directory (where a leak check cannot run, as
// it would trace the process itself).
Trace traceClick(const std::string& button)
{
    const std::string log = fs::absolute("../trace.txt").string();
    const std::string command = "ASAN_OPTIONS=detect_leaks=0 strace -f -qq -y -e trace=fdatasync,fsync,rename,renameat,renameat2,write -o '" + log
                                + "' '" CONSOLE_PATH "' " + button + " >/dev/null";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    const fs::path here = fs::canonical(".");
    const std::regex flush(R"re((?:fdatasync|fsync)\(\d+<([^>]*)>\) += 0)re");
    const std::regex rename(R"re(rename(?:at2?)?\(.*"([^"]*)".*"([^"]*)".*\) += 0)re");
    Trace trace;
    std::ifstream in(log);
    size_t index = 0;
    for (std::string line; std::getline(in, line); ++index) {
        std::smatch found;
        if (std::regex_search(line, found, flush))
            trace.lastFlush[found[1]] = index;
        else if (std::regex_search(line, found, rename))
            trace.renames.push_back({index, {(here / found[1].str()).lexically_normal(), (here / found[2].str()).lexically_normal()}});
        else if (line.find("write(1<") != std::string::npos && line.find("\"[") != std::string::npos)
            trace.message = index;
    }
    return trace;
}

TEST(Durability, EveryNewFileIsFlushedBeforeItsRenameAndEveryRenameBeforeTheMessage)
{
    if (std::system("strace -V >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "strace is not installed";
    ScratchTree tree;
    tree.createContent();
    writeStateFile("0\r\n1024");
    for (const auto& [button, renames] : {std::pair("binpatch", 1 + 246), std::pair("cabview", 1 + 18)}) {
        SCOPED_TRACE(button);
        const Trace trace = traceClick(button);
        ASSERT_EQ(trace.renames.size(), static_cast<size_t>(renames)) << "the state file and every step";
        for (const auto& [at, rename] : trace.renames) {
            const auto& [from, to] = rename;
            const auto file = trace.lastFlush.find(from.string());
            EXPECT_TRUE(file != trace.lastFlush.end() && file->second < at) << "not flushed before its rename: " << from;
            const auto folder = trace.lastFlush.find(to.parent_path().string());
            EXPECT_TRUE(folder != trace.lastFlush.end() && folder->second > at && folder->second < trace.message)
                << "its folder not flushed between the rename and the message: " << to;
        }
    }
}

} // namespace
