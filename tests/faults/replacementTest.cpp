// Whole-file replacement under crashes and a full disk, through the console: a BinPatch click
// killed while it writes the state file or a shape, and a click on a full disk (a small tmpfs).
// Afterwards every file of the content tree holds its old or its new content whole and the
// state file reads; a click on a full disk keeps every old file and leaves no new file behind;
// and a click once the trouble is gone brings every target to its new content.

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

struct Trouble {
    const char* name;
    const char* killAt; // the file at whose first write the click is killed; null: a full disk
};

void PrintTo(const Trouble& trouble, std::ostream* out)
{
    *out << trouble.name;
}

// Sizes for a tree that fits a small disk, with shapes large enough to be caught mid-copy.
size_t sizeOf(const std::string& path)
{
    return path.size() > 2 && path.compare(path.size() - 2, 2, ".s") == 0 ? 1024 * 1024 : 4 * 1024;
}

Snapshot contentTree(const std::string& sim)
{
    return snapshot(sim + "/trains");
}

int clickBinPatch(std::string* out = nullptr)
{
    Console console(CONSOLE_PATH, {"binpatch"});
    console.closeInput();
    const std::string text = console.readRest();
    if (out != nullptr)
        *out = text;
    return console.finish();
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

class Replacement : public testing::TestWithParam<Trouble> {
protected:
    void SetUp() override
    {
        fs::create_directory(sim_);
        if (GetParam().killAt == nullptr) {
            if (::mount("tmpfs", sim_.c_str(), "tmpfs", 0, "size=32m") != 0)
                GTEST_SKIP() << "cannot mount a tmpfs here";
            mounted_ = true;
        }
        fs::create_directories(sim_ + "/ZEK/BR927");
        ContentTreeOptions options;
        options.sizeOf = sizeOf;
        createContentTree(sim_, options);
        fs::current_path(sim_ + "/ZEK/BR927");
        writeStateFile("0\r\n1024");
    }
    void TearDown() override
    {
        fs::current_path(tree.workDir());
        if (mounted_)
            ::umount2(sim_.c_str(), MNT_DETACH);
    }

    ScratchTree tree;
    const std::string sim_ = tree.root() + "/sim";
    bool mounted_ = false;
};

TEST_P(Replacement, EveryFileIsOldOrNewWholeAndTheNextClickMendsAll)
{
    const std::string filler = sim_ + "/filler";
    if (GetParam().killAt == nullptr) {
        std::ofstream out(filler, std::ios::binary);
        const std::string block(64 * 1024, '\0');
        while (out.write(block.data(), static_cast<std::streamsize>(block.size())))
            out.flush();
    }
    const Snapshot before = contentTree(sim_);
    Snapshot fresh = before;
    for (const CopyStep& step : stepsToRun(Batch::EngfilesBin, 1024))
        fresh[fs::relative(findUnderRoot(sim_, step.target), sim_ + "/trains").generic_string()] =
            readWholeFile(findUnderRoot(sim_, step.source));

    std::string out;
    if (GetParam().killAt != nullptr) {
        const std::string killAt = GetParam().killAt;
        killClickWritingTo(killAt.rfind("../", 0) == 0 ? findUnderRoot(sim_, killAt) : killAt);
    } else {
        EXPECT_EQ(clickBinPatch(&out), 1);
        EXPECT_NE(out.find("Speichern fehlgeschlagen: br927.zekconfig\n"), std::string::npos) << out;
        EXPECT_EQ(stateFileBytes(), "0\r\n1024");
        expectSameTree(contentTree(sim_), before);
    }
    const Snapshot after = contentTree(sim_);
    for (const auto& [path, old] : before) {
        const auto found = after.find(path);
        EXPECT_TRUE(found != after.end() && (found->second == old || found->second == fresh.at(path)))
            << "lost, or neither old nor new: " << path;
    }
    EXPECT_EQ(getCabviewState(), 1024) << stateFileBytes();

    fs::remove(filler);
    writeStateFile("0\r\n1024");
    EXPECT_EQ(clickBinPatch(), 0);
    expectSameTree(contentTree(sim_), fresh);
    EXPECT_FALSE(fs::exists(std::string("br927.zekconfig") + kNewFileSuffix));
}

INSTANTIATE_TEST_SUITE_P(Troubles, Replacement,
                         testing::Values(Trouble{"KilledWritingTheStateFile", "br927.zekconfig"},
                                         Trouble{"KilledWritingAShape", "../../trains/trainset/ZEK_BR927_serie1/927-k.s"},
                                         Trouble{"FullDisk", nullptr}),
                         [](const auto& trouble) { return std::string(trouble.param.name); });

} // namespace
