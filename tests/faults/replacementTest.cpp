// Whole-file replacement under failures and crashes, through the console: a BinPatch click
// killed at several points, a disk that is full or fills up during the click (a small tmpfs),
// a hard-linked and a symbolically linked live file. After each, every file of the content
// tree holds its old or its new content whole, nothing outside the tree has changed, the next
// start reads the state file, and a click after the trouble leaves no new file behind.

#include "consoleProcess.h"
#include "copyFile.h"
#include "faultHelpers.h"
#include "fileIO.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <sys/inotify.h>
#include <sys/mount.h>

#include <csignal>
#include <fstream>
#include <set>

namespace fs = std::filesystem;

namespace {

enum class Trouble { Killed, FullDisk, DiskFillsUp, HardLinkedLiveFile, SymlinkedLiveFile };

struct Case {
    const char* name;
    Trouble trouble;
    const char* killAt; // Killed: the file at whose first write the click is killed
};

const Case kCases[] = {
    {"KilledWritingTheStateFile", Trouble::Killed, "br927.zekconfig"},
    {"KilledWritingTheFirstEngine", Trouble::Killed, "../../trains/trainset/ZEK_BR927_prototyp/ZEK_BR_927-proto-k.eng"},
    {"KilledWritingAResolutionTexture", Trouble::Killed,
     "../../trains/trainset/ZEK_BR927_prototyp/Cabview/1024x768/927_front1024.ace"},
    {"KilledWritingAShape", Trouble::Killed, "../../trains/trainset/ZEK_BR927_serie1/927-k.s"},
    {"KilledWritingTheLastEngine", Trouble::Killed, "../../trains/trainset/ZEK_BR927_ICE2_KI/ZEK_BR808_rv_KI.eng"},
    {"FullDisk", Trouble::FullDisk, nullptr},
    {"DiskFillsUp", Trouble::DiskFillsUp, nullptr},
    {"HardLinkedLiveFile", Trouble::HardLinkedLiveFile, nullptr},
    {"SymlinkedLiveFile", Trouble::SymlinkedLiveFile, nullptr},
};

const std::string kLiveEngine = "../../trains/trainset/ZEK_BR927_ki/ZEK_BR_927-ki-k.eng";
const std::string kOffEngine = "../../trains/trainset/ZEK_BR927_ki/noBinPatch/ZEK_BR_927-ki-k.eng";
const std::string kLiveShape = "../../trains/trainset/ZEK_BR927_serie1/927-k.s";
const std::string kTmpfsSize = "size=24m";

// Sizes for a tree that fits a small disk.
size_t sizeOf(const std::string& path)
{
    if (path.size() > 2 && path.compare(path.size() - 2, 2, ".s") == 0)
        return 256 * 1024;
    if (path.size() > 4 && path.compare(path.size() - 4, 4, ".ace") == 0)
        return 64 * 1024;
    return 8 * 1024;
}

bool isNewFile(const std::string& path)
{
    const std::string suffix = kNewFileSuffix;
    return path.size() > suffix.size() && path.compare(path.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// Writes zeros into a file until the disk is full.
void fillDisk(const std::string& path)
{
    std::ofstream out(path, std::ios::binary);
    const std::string block(64 * 1024, '\0');
    while (out.write(block.data(), static_cast<std::streamsize>(block.size())))
        out.flush();
}

class Replacement : public testing::TestWithParam<Case> {
protected:
    void SetUp() override
    {
        sim_ = tree.root() + "/sim";
        fs::create_directory(sim_);
        if (needsSmallDisk()) {
            if (::mount("tmpfs", sim_.c_str(), "tmpfs", 0, kTmpfsSize.c_str()) != 0)
                GTEST_SKIP() << "cannot mount a tmpfs here";
            mounted_ = true;
        }
        fs::create_directories(sim_ + "/ZEK/BR927");
        ContentTreeOptions options;
        options.sizeOf = sizeOf;
        createContentTree(sim_, options);
        fs::create_directory(tree.root() + "/outside");
        writeWholeFile(tree.root() + "/outside/elsewhere.eng", "outside\n");
        fs::current_path(sim_ + "/ZEK/BR927");
        writeStateFile("0\r\n1024");
    }

    void TearDown() override
    {
        fs::current_path(tree.workDir());
        if (mounted_)
            ::umount2(sim_.c_str(), MNT_DETACH);
    }

    bool needsSmallDisk() const
    {
        return GetParam().trouble == Trouble::FullDisk || GetParam().trouble == Trouble::DiskFillsUp;
    }

    std::string onDisk(const std::string& tablePath) const { return findUnderRoot(sim_, tablePath); }
    // Without following links: a symbolic link is named as itself.
    std::string belowSim(const fs::path& path) const { return path.lexically_relative(sim_).generic_string(); }

    // What each target of a BinPatch click holds once its step has run.
    std::map<std::string, std::string> newContent() const
    {
        std::map<std::string, std::string> content;
        for (const CopyStep& step : stepsToRun(Batch::EngfilesBin, 1024))
            content[belowSim(onDisk(step.target))] = readWholeFile(onDisk(step.source));
        return content;
    }

    // Every file of the content tree (a link by the content it reaches) and every folder.
    Snapshot contentTree() const
    {
        Snapshot files;
        for (const auto& entry : fs::recursive_directory_iterator(sim_ + "/trains"))
            files[belowSim(entry.path())] = entry.is_regular_file() ? readWholeFile(entry.path()) : "<folder>";
        return files;
    }

    // Every file holds its old or its new content whole, none is missing, nothing new stands
    // beside them but (after a kill) new files; nothing outside the tree has changed; the
    // state file reads. Returns the new files left behind.
    std::set<std::string> expectWholeFiles(const Snapshot& before, const std::map<std::string, std::string>& fresh,
                                           const Snapshot& outside) const
    {
        std::set<std::string> leftovers;
        const Snapshot after = contentTree();
        for (const auto& [path, content] : after) {
            if (isNewFile(path)) {
                leftovers.insert(path);
                continue;
            }
            const auto old = before.find(path);
            const auto replacement = fresh.find(path);
            EXPECT_TRUE((old != before.end() && content == old->second)
                        || (replacement != fresh.end() && content == replacement->second))
                << "neither old nor new: " << path << " (" << content.size() << " bytes)";
        }
        for (const auto& entry : before)
            EXPECT_EQ(after.count(entry.first), 1u) << "lost: " << entry.first;
        EXPECT_EQ(snapshot(tree.root() + "/outside"), outside) << "written outside the tree";
        for (const auto& entry : fs::directory_iterator("."))
            EXPECT_TRUE(entry.path().filename() == "br927.zekconfig" || isNewFile(entry.path().string()))
                << "beside the state file: " << entry.path();
        const int32_t binpatch = getBinPatchState();
        EXPECT_TRUE(binpatch == 0 || binpatch == 1) << "state file: " << stateFileBytes();
        EXPECT_EQ(getCabviewState(), 1024) << "state file: " << stateFileBytes();
        return leftovers;
    }

    ScratchTree tree;
    std::string sim_;
    bool mounted_ = false;
};

struct Click {
    std::string out;
    int exitCode;
};

Click clickBinPatch()
{
    Console console(CONSOLE_PATH, {"binpatch"});
    console.closeInput();
    Click click;
    click.out = console.readRest();
    click.exitCode = console.finish();
    return click;
}

// Starts a BinPatch click and kills it at the first write to the file at `path`: the new file
// created beside it, or (written in place) the file truncated, as inotify reports on its
// folder. The kill lands while that file is being written.
void killClickWritingTo(const std::string& path)
{
    const fs::path file = fs::absolute(path);
    const std::string name = file.filename().string();
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
            seen = seen || (event->len > 0 && std::string(event->name).rfind(name, 0) == 0);
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
    ::kill(console.pid(), SIGKILL);
    console.finish();
    ::close(watcher);
}

TEST_P(Replacement, EveryFileIsOldOrNewWhole)
{
    const Case& trouble = GetParam();
    const std::string filler = sim_ + "/filler";
    switch (trouble.trouble) {
    case Trouble::FullDisk:
        fillDisk(filler);
        break;
    case Trouble::DiskFillsUp:
        fillDisk(filler);
        // Room for the small files, not for a shape: each replacement frees what it replaced.
        fs::resize_file(filler, fs::file_size(filler) - 160 * 1024);
        break;
    case Trouble::HardLinkedLiveFile:
        fs::remove(onDisk(kLiveEngine));
        fs::create_hard_link(onDisk(kOffEngine), sim_ + "/" + belowRoot(kLiveEngine));
        break;
    case Trouble::SymlinkedLiveFile:
        fs::remove(onDisk(kLiveShape));
        fs::create_symlink(tree.root() + "/outside/elsewhere.eng", sim_ + "/" + belowRoot(kLiveShape));
        break;
    case Trouble::Killed:
        break;
    }
    const Snapshot before = contentTree();
    const Snapshot outside = snapshot(tree.root() + "/outside");
    const std::map<std::string, std::string> fresh = newContent();

    Click click;
    if (trouble.trouble == Trouble::Killed) {
        const std::string killAt = trouble.killAt;
        killClickWritingTo(killAt.rfind("../", 0) == 0 ? onDisk(killAt) : killAt);
    } else {
        click = clickBinPatch();
    }
    const std::set<std::string> leftovers = expectWholeFiles(before, fresh, outside);

    switch (trouble.trouble) {
    case Trouble::Killed:
        break;
    case Trouble::FullDisk:
        EXPECT_EQ(click.exitCode, 1);
        EXPECT_NE(click.out.find("Speichern fehlgeschlagen: br927.zekconfig\n"), std::string::npos) << click.out;
        EXPECT_EQ(stateFileBytes(), "0\r\n1024");
        EXPECT_EQ(contentTree(), before);
        break;
    case Trouble::DiskFillsUp:
        EXPECT_EQ(click.exitCode, 1);
        EXPECT_NE(click.out.find("Kopieren fehlgeschlagen: "), std::string::npos) << click.out;
        EXPECT_NE(contentTree(), before) << "the disk was full from the start";
        break;
    case Trouble::HardLinkedLiveFile:
        EXPECT_EQ(click.exitCode, 0) << click.out;
        EXPECT_EQ(readWholeFile(onDisk(kOffEngine)), before.at(belowSim(onDisk(kOffEngine))));
        EXPECT_EQ(fs::hard_link_count(onDisk(kOffEngine)), 1u);
        break;
    case Trouble::SymlinkedLiveFile:
        EXPECT_EQ(click.exitCode, 0) << click.out;
        EXPECT_FALSE(fs::is_symlink(onDisk(kLiveShape)));
        break;
    }
    if (trouble.trouble != Trouble::Killed) {
        EXPECT_TRUE(leftovers.empty()) << "a failed copy left its new file: " << *leftovers.begin();
    }

    // With the trouble gone, a click from the old setting brings every target to its new
    // content and takes any new file left by the killed click away.
    fs::remove(filler);
    writeStateFile("0\r\n1024");
    const Click again = clickBinPatch();
    EXPECT_EQ(again.exitCode, 0) << again.out;
    const Snapshot after = contentTree();
    for (const auto& [path, content] : fresh)
        EXPECT_EQ(after.at(path), content) << path;
    for (const auto& entry : after)
        EXPECT_FALSE(isNewFile(entry.first)) << "left behind: " << entry.first;
    EXPECT_FALSE(fs::exists(std::string("br927.zekconfig") + kNewFileSuffix));
}

INSTANTIATE_TEST_SUITE_P(Troubles, Replacement, testing::ValuesIn(kCases),
                         [](const auto& param) { return std::string(param.param.name); });

} // namespace
