// The console front end built for Windows, run as its own process (under Wine on the test
// machines): the same output, byte for byte, and the same exit codes as on Linux; a click
// waiting for another process's click.

#include "scratchTree.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
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
                          "Kopieren fehlgeschlagen: " + source + " -> " + target + "\n"
                          "[Fehler] Fehler beim Verarbeiten von mindestens einer Datei!\n"
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

// The click lock of the working directory, as every process of the tool names it: a mutex
// named after the folder's volume and file index, which every spelling of its path shares.
HANDLE openClickLock()
{
    const HANDLE folder = CreateFileA(".", 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    BY_HANDLE_FILE_INFORMATION info{};
    GetFileInformationByHandle(folder, &info);
    CloseHandle(folder);
    char name[64];
    std::snprintf(name, sizeof name, "Local\\br927config-click-%08lx-%08lx%08lx", info.dwVolumeSerialNumber,
                  info.nFileIndexHigh, info.nFileIndexLow);
    return CreateMutexA(nullptr, FALSE, name);
}

// A second window or console waits while a click is under way, before it even reads the state
// file (a reader would make the click's rename of it fail), then runs its own click whole.
// The test holds the lock as a click would and lets go of it now and then: a mutex passes at
// once to a process waiting for it, so the test knows when the console waited, and until then
// the console must have printed and written nothing.
TEST(ConsoleUnderWine, AClickWaitsUntilTheClickUnderWayEnds)
{
    ScratchTree tree;
    tree.createContent();
    writeStateFile("0\r\n1024");
    const HANDLE lock = openClickLock();
    ASSERT_EQ(WaitForSingleObject(lock, INFINITE), WAIT_OBJECT_0);
    std::atomic<bool> ended{false};
    Result waited;
    std::thread second([&] { waited = runConsole("binpatch"); ended = true; });
    bool handedOver = false;
    for (const ULONGLONG deadline = GetTickCount64() + 60000; !handedOver && !ended && GetTickCount64() < deadline;) {
        EXPECT_EQ(readWholeFile("../out.txt"), "") << "it printed while the click was under way";
        EXPECT_EQ(stateFileBytes(), "0\r\n1024");
        ReleaseMutex(lock);
        handedOver = WaitForSingleObject(lock, 0) == WAIT_TIMEOUT;
        if (!handedOver)
            Sleep(20);
    }
    second.join();
    CloseHandle(lock);
    EXPECT_TRUE(handedOver) << "the console never waited for the click lock";
    EXPECT_EQ(waited.exitCode, 0);
    EXPECT_EQ(stateFileBytes(), "1\r\n1024");
}

} // namespace
