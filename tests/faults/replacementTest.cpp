// Whole-file replacement under a full disk and crashes: on a full disk neither a copy nor the
// state file is written into; a BinPatch click killed while it writes the state file or a
// shape leaves every file with its old or its new content whole, and the next click mends all.

#include "consoleProcess.h"
#include "copyFile.h"
#include "fileIO.h"
#include "scratchTree.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <sys/inotify.h>
#include <sys/mount.h>

#include <csignal>
#include <fstream>

namespace fs = std::filesystem;

namespace {

TEST(FullDisk, KeepsTheOldFileAndTheOldStateAndLeavesNoNewFile)
{
    ScratchTree tree;
    writeWholeFile("../source.s", std::string(256 * 1024, 's'));
    fs::create_directory("disk");
    if (::mount("tmpfs", "disk", "tmpfs", 0, "size=1m") != 0)
        GTEST_SKIP() << "cannot mount a tmpfs here";
    fs::current_path("disk");
    writeWholeFile("live.s", "old shape");
    writeStateFile("0\r\n1024");
    {
        std::ofstream filler("filler", std::ios::binary);
        const std::string block(64 * 1024, '\0');
        while (filler.write(block.data(), static_cast<std::streamsize>(block.size())))
            filler.flush();
    }
    EXPECT_FALSE(copyFileReplacing("../../source.s", "live.s"));
    EXPECT_FALSE(setState(1, 1280));
    EXPECT_EQ(readWholeFile("live.s"), "old shape");
    EXPECT_EQ(stateFileBytes(), "0\r\n1024");
    EXPECT_EQ(std::distance(fs::directory_iterator("."), fs::directory_iterator()), 3) << "a new file was left";
    fs::remove("filler");
    EXPECT_TRUE(copyFileReplacing("../../source.s", "live.s") && setState(1, 1280));
    fs::current_path(tree.workDir());
    ::umount2("disk", MNT_DETACH);
}

// Starts a BinPatch click and kills it at the first write to the file at `path`: the new file
// created beside it, or (written in place) the file itself, as inotify reports on its folder.
void killClickWritingTo(const std::string& path)
{
    const fs::path file = fs::absolute(path);
    const int watcher = ::inotify_init1(IN_CLOEXEC);
    ASSERT_GE(::inotify_add_watch(watcher, file.parent_path().c_str(), IN_CREATE | IN_MODIFY), 0) << path;
    Console console(CONSOLE_PATH, {"binpatch"});
    alignas(inotify_event) char events[4096];
    for (bool seen = false; !seen;) {
        pollfd ready{watcher, POLLIN, 0};
        ASSERT_EQ(::poll(&ready, 1, 10000), 1) << "the click never wrote " << path;
        const ssize_t got = ::read(watcher, events, sizeof events);
        for (ssize_t at = 0; at < got;) {
            const auto* event = reinterpret_cast<const inotify_event*>(events + at);
            seen = seen || (event->len > 0 && std::string(event->name).rfind(file.filename().string(), 0) == 0);
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
    ::kill(console.pid(), SIGKILL);
    console.finish();
    ::close(watcher);
}

class KilledClick : public testing::TestWithParam<std::string> {};

TEST_P(KilledClick, LeavesEveryFileOldOrNewWholeAndTheNextClickMendsAll)
{
    ScratchTree tree;
    ContentTreeOptions options; // shapes large enough to be caught while they are copied
    options.sizeOf = [](const std::string& path) { return path.substr(path.size() - 2) == ".s" ? 1u << 20 : 4096u; };
    tree.createContent(options);
    writeStateFile("0\r\n1024");
    const Snapshot before = tree.now();
    Snapshot fresh = tree.afterCopies(before, stepsToRun(Batch::EngfilesBin, 1024));
    fresh["ZEK/BR927/br927.zekconfig"] = "1\r\n1024";

    killClickWritingTo(GetParam() == "br927.zekconfig" ? GetParam() : tree.find(GetParam()));
    const Snapshot after = tree.now();
    for (const auto& [path, old] : before) {
        const auto found = after.find(path);
        EXPECT_TRUE(found != after.end() && (found->second == old || found->second == fresh.at(path)))
            << "lost, or neither old nor new: " << path;
    }
    writeStateFile("0\r\n1024");
    Console click(CONSOLE_PATH, {"binpatch"});
    click.closeInput();
    click.readRest();
    EXPECT_EQ(click.finish(), 0);
    expectSameTree(tree.now(), fresh);
}

INSTANTIATE_TEST_SUITE_P(Writing, KilledClick,
                         testing::Values("br927.zekconfig", "../../trains/trainset/ZEK_BR927_serie1/927-k.s"),
                         [](const auto& killAt) { return killAt.param == "br927.zekconfig" ? "TheStateFile" : "AShape"; });

} // namespace
