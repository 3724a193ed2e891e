// Durability, read off the system calls of real clicks: a new file's data must reach the disk
// before its name replaces the live file, and the renames themselves before the click tells
// of its outcome. A missing flush loses nothing in a test that does not cut the power, so the
// order of the calls is what is checked.

#include "consoleProcess.h"
#include "scratchTree.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <vector>

namespace fs = std::filesystem;

namespace {

// The paths named by a line of strace's, in order: each quoted name (file names here hold no
// quote) taken in the folder that strace shows for the descriptor just before it (-y), else in
// the working directory.
std::vector<fs::path> namedPaths(const std::string& line, const fs::path& here)
{
    std::vector<fs::path> found;
    for (size_t open = line.find('"'), close; open != std::string::npos && (close = line.find('"', open + 1)) != std::string::npos;
         open = line.find('"', close + 1)) {
        fs::path folder = here;
        if (open >= 3 && line.compare(open - 3, 3, ">, ") == 0) {
            const size_t start = line.rfind('<', open - 3);
            folder = line.substr(start + 1, open - 3 - start - 1);
        }
        found.push_back((folder / line.substr(open + 1, close - open - 1)).lexically_normal());
    }
    return found;
}

// What one BinPatch click did, in order: each flushed path (a file or a folder), each rename,
// where the mark of the click under way was removed, and where its outcome message was written. The console runs under strace in the current
// directory (without the leak check, which cannot run under a tracer).
struct Trace {
    struct Rename {
        size_t at;
        fs::path from, to;
    };
    std::map<std::string, size_t> lastFlush; // absolute path -> index of its last flush
    std::vector<Rename> renames;
    size_t markRemoved = 0;
    size_t message = 0;

    Trace()
    {
        const std::string log = fs::absolute("../trace.txt").string();
        const std::string command = "ASAN_OPTIONS=detect_leaks=0 strace -f -qq -y -o '" + log
                                    + "' -e trace=fdatasync,fsync,rename,renameat,renameat2,unlink,write '" CONSOLE_PATH "' binpatch >/dev/null";
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
        const fs::path here = fs::canonical(".");
        std::ifstream in(log);
        size_t index = 0;
        std::map<std::string, std::string> cutOff; // thread -> the first half of its call under way
        for (std::string line; std::getline(in, line); ++index) {
            // A call that another thread's cut in two is read whole where it returns.
            const std::string thread = line.substr(0, line.find(' '));
            if (const size_t cut = line.find(" <unfinished ...>"); cut != std::string::npos) {
                cutOff[thread] = line.substr(0, cut);
                continue;
            }
            if (const size_t resumed = line.find(" resumed>"); resumed != std::string::npos)
                line = cutOff[thread] + line.substr(resumed + 9);
            const bool succeeded = line.size() > 4 && line.compare(line.size() - 4, 4, " = 0") == 0;
            const std::vector<fs::path> names = namedPaths(line, here);
            if (succeeded && (line.find("fsync(") != std::string::npos || line.find("fdatasync(") != std::string::npos))
                lastFlush[line.substr(line.find('<') + 1, line.find(">)") - line.find('<') - 1)] = index;
            else if (succeeded && line.find("rename") != std::string::npos && names.size() >= 2)
                renames.push_back({index, names[names.size() - 2], names.back()});
            else if (line.find("unlink(\"br927.umschaltung-laeuft\") = 0") != std::string::npos)
                markRemoved = index;
            else if (line.find("write(1<") != std::string::npos && line.find("\"[") != std::string::npos)
                message = index;
        }
    }
};

TEST(Durability, EveryNewFileIsFlushedBeforeItsRenameAndEveryRenameBeforeTheMessage)
{
    if (const std::string refused = ptraceRefused(); !refused.empty())
        GTEST_SKIP() << "strace cannot trace here: " << refused;
    ScratchTree tree;
    tree.createContent();
    writeStateFile("0\r\n1024");
    const Trace trace;
    ASSERT_EQ(trace.renames.size(), 1u + 1u + 246u) << "the mark, the state file and every step";
    // The mark is on disk before anything else is written, and its removal after the last.
    EXPECT_EQ(trace.renames.front().to.filename(), "br927.umschaltung-laeuft");
    EXPECT_GT(trace.markRemoved, trace.renames.back().at);
    const auto workFolder = trace.lastFlush.find(fs::canonical(".").string());
    EXPECT_TRUE(workFolder != trace.lastFlush.end() && workFolder->second > trace.markRemoved
                && workFolder->second < trace.message)
        << "the mark's removal not flushed before the message";
    for (const Trace::Rename& rename : trace.renames) {
        const auto file = trace.lastFlush.find(rename.from.string());
        EXPECT_TRUE(file != trace.lastFlush.end() && file->second < rename.at) << "not flushed before its rename: " << rename.from;
        const auto folder = trace.lastFlush.find(rename.to.parent_path().string());
        EXPECT_TRUE(folder != trace.lastFlush.end() && folder->second > rename.at && folder->second < trace.message)
            << "its folder not flushed between the rename and the message: " << rename.to;
    }
}

} // namespace
