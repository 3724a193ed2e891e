// Whole-file replacement under a full disk, crashes and clicks that meet: on a full disk
// neither a copy nor the state file is written into; a BinPatch click killed while it writes
// the state file or a shape leaves every file with its old or its new content whole, and the
// next click mends all; of two clicks at once, one waits for the other.

#include "consoleProcess.h"
#include "replaceFile.h"
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
    const int filled = std::system("dd if=/dev/zero of=filler bs=64k 2>/dev/null"); // until the disk is full
    (void)filled;
    EXPECT_NE(copyFileReplacing("../../source.s", "live.s"), FileError::None);
    EXPECT_FALSE(setState(1, 1280));
    EXPECT_EQ(readWholeFile("live.s"), "old shape");
    EXPECT_EQ(stateFileBytes(), "0\r\n1024");
    EXPECT_EQ(std::distance(fs::directory_iterator("."), fs::directory_iterator()), 3) << "a new file was left";
    fs::remove("filler");
    EXPECT_TRUE(copyFileReplacing("../../source.s", "live.s") == FileError::None && setState(1, 1280));
    fs::current_path(tree.workDir());
    ::umount2("disk", MNT_DETACH);
}

// Watches for a click writing the file at `path`, as inotify reports on its folder: for
// IN_CREATE the new file created beside it, for IN_MOVED_TO its rename. Made before the click
// starts, so that no event can come before the watch.
class WriteWatch {
public:
    WriteWatch(const std::string& path, uint32_t event)
        : file_(fs::absolute(path)), watcher_(::inotify_init1(IN_CLOEXEC))
    {
        added_ = ::inotify_add_watch(watcher_, file_.parent_path().c_str(), event) >= 0;
    }
    ~WriteWatch() { ::close(watcher_); }

    // Waits until the click writes the file, then sends it the signal.
    void signalAtWrite(const Console& click, int signal)
    {
        ASSERT_TRUE(added_) << file_;
        alignas(inotify_event) char events[4096];
        for (bool seen = false; !seen;) {
            pollfd ready{watcher_, POLLIN, 0};
            ASSERT_EQ(::poll(&ready, 1, 60000), 1) << "the click never wrote " << file_;
            const ssize_t got = ::read(watcher_, events, sizeof events);
            for (ssize_t at = 0; at < got;) {
                const auto* each = reinterpret_cast<const inotify_event*>(events + at);
                seen = seen || (each->len > 0 && std::string(each->name).rfind(file_.filename().string(), 0) == 0);
                at += static_cast<ssize_t>(sizeof(inotify_event) + each->len);
            }
        }
        ::kill(click.pid(), signal);
    }

private:
    fs::path file_;
    int watcher_;
    bool added_ = false;
};

// Waits until the process waits for a lock, as the kernel's list of locks shows ("->").
void waitUntilBlockedOnLock(pid_t pid)
{
    const std::string waiter = " " + std::to_string(pid) + " ";
    for (int tries = 0; tries < 6000; ++tries) {
        std::ifstream locks("/proc/locks");
        for (std::string line; std::getline(locks, line);) {
            if (line.find("->") != std::string::npos && line.find(waiter) != std::string::npos)
                return;
        }
        ::usleep(10 * 1000);
    }
    ADD_FAILURE() << "process " << pid << " never waited for the click lock";
}

// A tree whose shapes are large enough to catch a click while it copies one.
void createTreeWithLargeShapes(ScratchTree& tree)
{
    ContentTreeOptions options;
    options.sizeOf = [](const std::string& path) { return path.substr(path.size() - 2) == ".s" ? 1u << 20 : 4096u; };
    tree.createContent(options);
}

// The tree after a whole BinPatch click from `before` that wrote `state`.
Snapshot afterClick(const ScratchTree& tree, const Snapshot& before, const std::string& state)
{
    const bool on = state.rfind("1\r\n", 0) == 0;
    Snapshot after = tree.afterCopies(before, stepsToRun(on ? Batch::EngfilesBin : Batch::EngfilesNoBin, 1024));
    after["ZEK/BR927/br927.zekconfig"] = state;
    return after;
}

// Where a click is stopped: at the state file, or at a shape (a content path).
const char* const kStopAt[] = {"br927.zekconfig", "../../trains/trainset/ZEK_BR927_serie1/927-k.s"};

std::string stopAtPath(const ScratchTree& tree, const std::string& stopAt)
{
    return stopAt == kStopAt[0] ? stopAt : tree.find(stopAt);
}

// Two clicks at once: one is held where it writes the file, and a second process started
// meanwhile waits for it. When the waiting one is killed, the held one's click runs whole and
// succeeds. When the held one is killed, every file is left with its old or its new content
// whole, and the waiting one then runs its own click whole, mending all.
class TwoClicks : public testing::TestWithParam<const char*> {};

TEST_P(TwoClicks, OneHeldAtAWriteTheOtherKilledLeaveTheSurvivorsWholeClick)
{
    ScratchTree tree;
    createTreeWithLargeShapes(tree);
    const std::string path = stopAtPath(tree, GetParam());
    for (const bool heldSurvives : {true, false}) {
        SCOPED_TRACE(heldSurvives ? "the waiting one killed" : "the held one killed");
        writeStateFile("0\r\n1024");
        const Snapshot before = tree.now();
        const Snapshot fresh = afterClick(tree, before, "1\r\n1024");
        WriteWatch watch(path, heldSurvives ? IN_MOVED_TO : IN_CREATE);
        Console held(CONSOLE_PATH, {"binpatch"});
        ASSERT_NO_FATAL_FAILURE(watch.signalAtWrite(held, SIGSTOP));
        Console waiting(CONSOLE_PATH, {"binpatch"});
        waitUntilBlockedOnLock(waiting.pid());
        ::kill(waiting.pid(), heldSurvives ? SIGKILL : SIGSTOP);
        ::kill(held.pid(), heldSurvives ? SIGCONT : SIGKILL);
        Console& survivor = heldSurvives ? held : waiting;
        (heldSurvives ? waiting : held).finish();
        const Snapshot afterKill = tree.now();
        for (const auto& [file, old] : heldSurvives ? Snapshot() : before) {
            const auto found = afterKill.find(file);
            EXPECT_TRUE(found != afterKill.end() && (found->second == old || found->second == fresh.at(file)))
                << "lost, or neither old nor new: " << file;
        }
        ::kill(survivor.pid(), SIGCONT);
        survivor.closeInput();
        EXPECT_NE(survivor.readRest().find("[Aktion ausgefuehrt]"), std::string::npos);
        EXPECT_EQ(survivor.finish(), 0);
        expectSameTree(tree.now(), afterClick(tree, before, stateFileBytes()));
    }
}

INSTANTIATE_TEST_SUITE_P(HeldWriting, TwoClicks, testing::ValuesIn(kStopAt),
                         [](const auto& stopAt) { return stopAt.index == 0 ? "TheStateFile" : "AShape"; });

} // namespace
