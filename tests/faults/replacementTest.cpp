// Whole-file replacement under a full disk, crashes and clicks that meet: on a full disk
// neither a copy nor the state file is written into; a BinPatch click killed in the middle
// leaves every file with its old or its new content whole, and the next click mends all; of
// two clicks at once, one waits for the other.

#include "consoleProcess.h"
#include "replaceFile.h"
#include "keptFiles.h"
#include "stateFile.h"
#include "scratchTree.h"

#include <gtest/gtest.h>

#include <sys/mount.h>

#include <csignal>
#include <fstream>
#include <map>
#include <memory>

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
    EXPECT_NE(setState(1, 1280), FileError::None);
    EXPECT_EQ(readWholeFile("live.s"), "old shape");
    EXPECT_EQ(stateFileBytes(), "0\r\n1024");
    EXPECT_EQ(std::distance(fs::directory_iterator("."), fs::directory_iterator()), 3) << "a new file was left";
    fs::remove("filler");
    EXPECT_TRUE(copyFileReplacing("../../source.s", "live.s") == FileError::None && setState(1, 1280) == FileError::None);
    fs::current_path(tree.workDir());
    ::umount2("disk", MNT_DETACH);
}

// A BinPatch click run under strace, which reports the calls it is told to trace on its
// standard error as the click makes them: a call's name and arguments when it begins, its
// result when it returns. The click's output comes through the tracer.
class TracedClick {
public:
    explicit TracedClick(const std::string& tracing)
        : tracer_("/bin/sh", {"-c", "exec strace -qq -E ASAN_OPTIONS=detect_leaks=0 " + tracing + " '" CONSOLE_PATH "' binpatch"})
    {
    }
    Console& output() { return tracer_; }

    // Reads the report on until it tells of the event; the click's process id (the tracer's
    // child), or -1 when the click ended before.
    pid_t reached(const std::string& event)
    {
        const size_t from = report_.size();
        report_ += tracer_.readErrorsUntil(event);
        const std::string tracer = std::to_string(tracer_.pid());
        pid_t click = -1;
        if (report_.find(event, from) != std::string::npos)
            std::ifstream("/proc/" + tracer + "/task/" + tracer + "/children") >> click;
        if (click <= 0)
            ADD_FAILURE() << "the click never reached " << event << ": " << report_;
        return click;
    }

    // The whole report, once the click has ended.
    std::string report() { return report_ + tracer_.readErrors(); }

private:
    Console tracer_;
    std::string report_;
};

// A click stopped by the tracer right after its n-th rename: the first files it puts in place
// are its own (its mark, the state file), the later ones the new files of its batch. The stop
// is made at the rename itself, so the click is caught there however busy the machine is.
std::string stoppedAtRename(int rename)
{
    return "-e trace=rename,renameat,renameat2 -e inject=rename,renameat,renameat2:signal=SIGSTOP:when="
           + std::to_string(rename);
}
const char kStopped[] = "--- stopped by SIGSTOP ---";

// The tree after a whole BinPatch click from `before` that wrote `state`.
Snapshot afterClick(const ScratchTree& tree, const Snapshot& before, const std::string& state)
{
    const bool on = state.rfind("1\r\n", 0) == 0;
    Snapshot after = tree.afterCopies(before, stepsToRun(on ? Batch::EngfilesBin : Batch::EngfilesNoBin, 1024));
    after["ZEK/BR927/br927.zekconfig"] = state;
    return after;
}

// Where a click is held: right after the first file it puts in place, before its batch, or
// halfway through the renames of its batch.
const int kHeldAfterRename[] = {1, 124};

// Two clicks at once: one is held in the middle of its click, and a second process started
// meanwhile waits for it. When the waiting one is killed, the held one's click runs whole and
// succeeds. When the held one is killed, every file is left with its old or its new content
// whole, and the waiting one then runs its own click whole, mending all.
class TwoClicks : public testing::TestWithParam<int> {};

TEST_P(TwoClicks, OneHeldInItsClickTheOtherKilledLeaveTheSurvivorsWholeClick)
{
    if (const std::string refused = ptraceRefused(); !refused.empty())
        GTEST_SKIP() << "strace cannot trace here: " << refused;
    ScratchTree tree;
    tree.createContent();
    for (const bool heldSurvives : {true, false}) {
        SCOPED_TRACE(heldSurvives ? "the waiting one killed" : "the held one killed");
        writeStateFile("0\r\n1024");
        const Snapshot before = tree.now();
        const Snapshot fresh = afterClick(tree, before, "1\r\n1024");
        TracedClick held(stoppedAtRename(GetParam()));
        const pid_t heldClick = held.reached(kStopped);
        ASSERT_GT(heldClick, 0);
        // The second click has begun to take the lock when its tracer says so.
        TracedClick waiting("-e trace=flock");
        const pid_t waitingClick = waiting.reached("LOCK_EX");
        ASSERT_GT(waitingClick, 0);
        if (!heldSurvives) {
            // Kept from its click until the tree has been read, and stopped before the first
            // one ends, so that its call for the lock is cut short while the lock is held.
            ::kill(waitingClick, SIGSTOP);
            waiting.reached(kStopped);
        }
        ::kill(heldSurvives ? waitingClick : heldClick, SIGKILL);
        (heldSurvives ? waiting : held).output().finish();
        const Snapshot afterKill = heldSurvives ? Snapshot() : tree.now();
        for (const auto& [file, old] : heldSurvives ? Snapshot() : before) {
            const auto found = afterKill.find(file);
            EXPECT_TRUE(found != afterKill.end() && (found->second == old || found->second == fresh.at(file)))
                << "lost, or neither old nor new: " << file;
        }
        Console& survivor = (heldSurvives ? held : waiting).output();
        ::kill(heldSurvives ? heldClick : waitingClick, SIGCONT);
        survivor.closeInput();
        EXPECT_NE(survivor.readRest().find("[Aktion ausgefuehrt]"), std::string::npos);
        EXPECT_EQ(survivor.finish(), 0);
        expectSameTree(tree.now(), afterClick(tree, before, stateFileBytes()));
        // The second click asked for the lock while the first one held it, and was refused
        // (or cut short by the test's signal): it went on only once the first one had ended.
        const std::string report = waiting.report();
        const size_t returned = report.find(" = ", report.find("LOCK_EX"));
        EXPECT_TRUE(returned == std::string::npos || report.compare(returned, 4, " = ?") == 0
                    || report.compare(returned, 9, " = -1 EAG") == 0)
            << "the second click did not wait for the first: " << report;
    }
}

INSTANTIATE_TEST_SUITE_P(Held, TwoClicks, testing::ValuesIn(kHeldAfterRename),
                         [](const auto& rename) { return rename.index == 0 ? "AtItsFirstRename" : "HalfwayThroughTheBatch"; });

// A click killed at the mark, at the state file or halfway through its batch, over a live
// engine changed by hand: the next start, a click of the other button, first finishes the
// click cut off and says so; then every file is in step with the state file, no new file or
// mark is left, and the player's change is kept.
class KilledClick : public testing::TestWithParam<int> {};

TEST_P(KilledClick, IsFinishedAtTheNextStartKeepingThePlayersChange)
{
    if (const std::string refused = ptraceRefused(); !refused.empty())
        GTEST_SKIP() << "strace cannot trace here: " << refused;
    ScratchTree tree;
    tree.createContent();
    writeStateFile("0\r\n1024");
    const std::string engine = stepsToRun(Batch::EngfilesBin, 1024).front().target;
    writeWholeFile(tree.find(engine), "tuned by hand\n");
    TracedClick held(stoppedAtRename(GetParam()));
    const pid_t click = held.reached(kStopped);
    ASSERT_GT(click, 0);
    ::kill(click, SIGKILL);
    held.output().finish();

    const ConsoleRun next = runToEnd(CONSOLE_PATH, {"cabview"});
    // Told once, at the start, before the window's rows.
    EXPECT_LT(next.out.find("[Meldung] Unterbrochene Umschaltung abgeschlossen.\n"), next.out.find("BinPatch ")) << next.out;
    EXPECT_NE(next.out.find("[Aktion ausgefuehrt] Cabview-Aufloesung erfolgreich auf 1280x1024 umgestellt"), std::string::npos);
    EXPECT_EQ(next.exitCode, 0);
    const ConsoleRun check = runToEnd(CONSOLE_PATH, {"check"});
    EXPECT_EQ(check.exitCode, 0) << check.out;
    size_t kept = 0;
    for (const auto& [path, content] : tree.now()) {
        EXPECT_EQ(path.find(".br927-new"), std::string::npos) << path;
        EXPECT_EQ(path.find("umschaltung-laeuft"), std::string::npos) << path;
        kept += path.find("Sicherungen/") != std::string::npos && content == "tuned by hand\n";
    }
    EXPECT_GE(kept, 1u) << "the player's change is lost";
}

// After the mark, after the state file, halfway through the batch.
const char* const kKilledAt[] = {"AtTheMark", "AtTheStateFile", "HalfwayThroughTheBatch"};
INSTANTIATE_TEST_SUITE_P(Killed, KilledClick, testing::Values(1, 2, 125),
                         [](const auto& rename) { return kKilledAt[rename.index]; });

// A click killed while it copies a player's edit into a folder of kept files on another file
// system (where no hard link can be made): the next start finishes the click; no kept name
// holds a part of the edit, and no new file is left below the kept folder.
TEST(KilledClick, WhileKeepingACopyLeavesNoPartUnderAKeptName)
{
    if (const std::string refused = ptraceRefused(); !refused.empty())
        GTEST_SKIP() << "strace cannot trace here: " << refused;
    ScratchTree tree;
    tree.createContent();
    writeStateFile("0\r\n1024");
    fs::create_directory(kKeptRoot);
    if (::mount("tmpfs", kKeptRoot, "tmpfs", 0, "size=64m") != 0)
        GTEST_SKIP() << "cannot mount a tmpfs here";
    const std::unique_ptr<const char, int (*)(const char*)> mounted(kKeptRoot, [](const char* at) { return ::umount2(at, MNT_DETACH); });
    const std::string edit(8 << 20, 'e'); // copied through a buffer of 128 KiB: 64 writes
    writeWholeFile(tree.find(stepsToRun(Batch::EngfilesBin, 1024).front().target), edit);
    // The click's own few writes (its output, its mark, the state file) come before the copy's.
    TracedClick held("-e trace=write -e inject=write:signal=SIGSTOP:when=32");
    const pid_t click = held.reached(kStopped);
    ASSERT_GT(click, 0);
    ::kill(click, SIGKILL);
    held.output().finish();
    const auto keptFiles = [] {
        std::map<std::string, size_t> sizes;
        for (const auto& entry : fs::recursive_directory_iterator(kKeptRoot))
            if (entry.is_regular_file())
                sizes[entry.path().string()] = entry.file_size();
        return sizes;
    };
    const std::map<std::string, size_t> cutOff = keptFiles();
    EXPECT_TRUE(cutOff.size() == 1 && cutOff.begin()->second < edit.size()) << "not cut off in the copy";

    EXPECT_EQ(runToEnd(CONSOLE_PATH, {"cabview"}).exitCode, 0);
    const std::map<std::string, size_t> kept = keptFiles();
    EXPECT_EQ(kept.size(), 1u);
    for (const auto& [path, size] : kept) {
        EXPECT_EQ(path.find(kNewFileSuffix), std::string::npos) << path;
        EXPECT_TRUE(size == edit.size() && readWholeFile(path) == edit) << "a part under a kept name: " << path;
    }
}

} // namespace
