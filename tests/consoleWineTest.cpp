// The console front end built for Windows, run as its own process (under Wine on the test
// machines): the same output, byte for byte, and the same exit codes as on Linux; clicks from
// read-only variants; a click waiting for another process's click.

#include "clickLock.h"
#include "scratchTree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

namespace fs = std::filesystem;

namespace {

const std::string kTrainsets = "../../trains/trainset/";

struct Result {
    std::string out;
    std::string err;
    int exitCode;
};

// Through the command interpreter, with the output in files beside the working directory.
Result runConsole(const std::string& args)
{
    const int exitCode = std::system(("\"" CONSOLE_PATH "\" " + args + " <NUL >..\\out.txt 2>..\\err.txt").c_str());
    return {readWholeFile("../out.txt"), readWholeFile("../err.txt"), exitCode};
}

TEST(ConsoleUnderWine, ClicksPlanCheckAndExitCodesAsOnLinux)
{
    ScratchTree tree;
    tree.createContent();
    writeStateFile("0\r\n1024");
    // Both settings there and back: every live file then comes from its batch.
    const Result clicks = runConsole("binpatch binpatch cabview cabview");
    EXPECT_EQ(clicks.exitCode, 0);
    EXPECT_EQ(std::count(clicks.out.begin(), clicks.out.end(), '\n'), 2 + 4 * 3);
    EXPECT_EQ(clicks.out.find('\r'), std::string::npos) << "lines end in LF alone, as on Linux";
    const Result inOrder = runConsole("check");
    EXPECT_EQ(inOrder.out, "BinPatch 0: 248 von 248 Dateien stimmen\nCabview 1024: 18 von 18 Dateien stimmen\n");
    EXPECT_EQ(inOrder.exitCode, 0);

    const std::string source = kTrainsets + "ZEK_BR927_serie1/Cabview/1280x1024/927_left1024.ace";
    const std::string target = kTrainsets + "ZEK_BR927_serie1/Cabview/927_left1024.ace";
    tree.remove(source);
    const Result plan = runConsole("plan cabview");
    EXPECT_EQ(std::count(plan.out.begin(), plan.out.end(), '\n'), 18);
    EXPECT_NE(plan.out.find(source + " -> " + target + " (fehlt)\n"), std::string::npos);
    EXPECT_EQ(plan.exitCode, 0);
    const Result failed = runConsole("cabview");
    EXPECT_EQ(failed.out, "BinPatch 0: deaktiviert [Aktivieren]\nCabview 1024: 1024x768 [1280 x 1024]\n"
                          "Kopieren fehlgeschlagen: " + source + " -> " + target + " (Quelle fehlt)\n"
                          "[Fehler] Fehler beim Verarbeiten von mindestens einer Datei!\n"
                          "[Fehler] Nicht kopiert: 1 Datei, zuerst " + target + " (Quelle fehlt)\n"
                          "BinPatch 0: deaktiviert [Aktivieren]\nCabview 1280: 1280x1024 [1024 x 768]\n");
    EXPECT_EQ(failed.exitCode, 1);
    const Result outOfOrder = runConsole("check");
    EXPECT_EQ(outOfOrder.out, "BinPatch 0: 248 von 248 Dateien stimmen\nCabview 1280: 17 von 18 Dateien stimmen\n"
                              "Quelle fehlt: " + source + "\n");
    EXPECT_EQ(outOfOrder.exitCode, 1);

    const Result wrong = runConsole("check binpatch");
    EXPECT_EQ(wrong.exitCode, 2);
    EXPECT_EQ(wrong.out, "");
    EXPECT_EQ(wrong.err.rfind("Aufruf: br927config", 0), 0u);
}

// A second window or console waits while a click is under way, then runs its own click whole.
TEST(ConsoleUnderWine, AClickWaitsUntilTheClickUnderWayEnds)
{
    ScratchTree tree;
    tree.createContent();
    writeStateFile("0\r\n1024");
    std::atomic<bool> ended{false};
    Result waited;
    std::thread second;
    {
        const ClickLock clickUnderWay;
        second = std::thread([&] { waited = runConsole("binpatch"); ended = true; });
        std::this_thread::sleep_for(std::chrono::seconds(3)); // a console starts in well under one
        EXPECT_FALSE(ended);
        EXPECT_EQ(stateFileBytes(), "0\r\n1024");
    }
    second.join();
    EXPECT_EQ(waited.exitCode, 0);
    EXPECT_EQ(stateFileBytes(), "1\r\n1024");
}

// The read-only attribute, as the runtime reports it.
bool isReadOnly(const std::string& path)
{
    return (fs::status(path).permissions() & fs::perms::owner_write) == fs::perms::none;
}

// Variants copied from a CD are read-only; were that carried onto the live files, the click
// back would be refused for every one of them.
TEST(ConsoleUnderWine, ClicksThereAndBackFromReadOnlyVariants)
{
    ScratchTree tree;
    tree.createContent();
    writeStateFile("0\r\n1024");
    const auto writable = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
    std::vector<std::string> sources;
    for (const Batch batch : {Batch::EngfilesBin, Batch::EngfilesNoBin}) {
        for (const CopyStep& step : batchTable(batch)) {
            sources.push_back(tree.find(step.source));
            fs::permissions(sources.back(), writable, fs::perm_options::remove);
        }
    }
    EXPECT_TRUE(isReadOnly(sources.front()));

    EXPECT_EQ(runConsole("binpatch").exitCode, 0);
    EXPECT_EQ(runConsole("binpatch").exitCode, 0);
    for (const Batch batch : {Batch::EngfilesBin, Batch::EngfilesNoBin}) {
        for (const CopyStep& step : batchTable(batch))
            EXPECT_FALSE(isReadOnly(tree.find(step.target))) << step.target;
    }
    for (const std::string& source : sources)
        fs::permissions(source, fs::perms::owner_write, fs::perm_options::add);
}

} // namespace
