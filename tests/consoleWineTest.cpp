// The console front end built for Windows, run as its own process (under Wine on the test
// machines): the same output, byte for byte, and the same exit codes as on Linux; a click
// waiting for another process's click; files that other programs hold; a player's edit kept
// aside.

#include "clickLock.h"
#include "fileBasics_win32.h"
#include "replaceFile.h"
#include "scratchTree.h"
#include "startProcess_win32.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <thread>

namespace fs = std::filesystem;

namespace {

const std::string kTrainsets = "../../trains/trainset/";

struct Result {
    std::string out; // and what it wrote to its standard error
    int exitCode;
};

// Started directly, with both its output streams in a file beside the working directory that
// the test empties first (a test reads it while the console runs).
Result runConsole(const std::string& args)
{
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    const HANDLE in = CreateFileA("NUL", GENERIC_READ, kShareAll, &inherit, OPEN_EXISTING, 0, nullptr);
    const HANDLE out = CreateFileA("..\\out.txt", GENERIC_WRITE, kShareAll, &inherit, CREATE_ALWAYS, 0, nullptr);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in;
    startup.hStdOutput = out;
    startup.hStdError = out;
    PROCESS_INFORMATION process{};
    const std::string commandLine = "\"" CONSOLE_PATH "\" " + args;
    const bool started = startProcess(nullptr, commandLine, TRUE, 0, nullptr, startup, process);
    const DWORD startError = GetLastError();
    CloseHandle(in);
    CloseHandle(out);
    if (!started) {
        ADD_FAILURE() << "the console did not start: " << commandLine << " (error " << startError << ")";
        return {"", -1};
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD exitCode = 0;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return {readWholeFile("../out.txt"), static_cast<int>(exitCode)};
}

TEST(ConsoleUnderWine, ClicksCheckAndExitCodesAsOnLinux)
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
    // A live file with one byte changed differs, however alike its size.
    const std::string engine = kTrainsets + "ZEK_BR927_ki/ZEK_BR_927-ki-k.eng";
    std::string changed = tree.read(engine);
    changed.back() ^= 1;
    writeWholeFile(tree.find(engine), changed);
    const Result differs = runConsole("check");
    EXPECT_EQ(differs.out, "BinPatch 0: 247 von 248 Dateien stimmen\nCabview 1024: 18 von 18 Dateien stimmen\n"
                           "Abweichend: " + engine + "\n");
    EXPECT_EQ(differs.exitCode, 1);

    const std::string source = kTrainsets + "ZEK_BR927_serie1/Cabview/1280x1024/927_left1024.ace";
    const std::string target = kTrainsets + "ZEK_BR927_serie1/Cabview/927_left1024.ace";
    tree.remove(source);
    const Result plan = runConsole("plan cabview");
    EXPECT_NE(plan.out.find(source + " -> " + target + " (fehlt)\n"), std::string::npos) << plan.out;
    EXPECT_EQ(plan.out.find("(fehlt)"), plan.out.rfind("(fehlt)")) << "more than the missing source marked";
    const Result failed = runConsole("cabview");
    EXPECT_EQ(failed.out, "BinPatch 0: deaktiviert [Aktivieren]\nCabview 1024: 1024x768 [1280 x 1024]\n"
                          "Kopieren fehlgeschlagen: " + source + " -> " + target + " (Quelle fehlt)\n"
                          "[Fehler] Fehler beim Verarbeiten von mindestens einer Datei!\n"
                          "[Fehler] Nicht kopiert: 1 Datei, zuerst " + target + " (Quelle fehlt)\n"
                          "BinPatch 0: deaktiviert [Aktivieren]\nCabview 1280: 1280x1024 [1024 x 768]\n");
    EXPECT_EQ(failed.exitCode, 1);
}

// The click lock of the working directory, as every process of the tool names it: a mutex
// named after the folder's volume and file index, which every spelling of its path shares.
HANDLE openClickLock()
{
    const HANDLE folder = CreateFileA(".", 0, kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    BY_HANDLE_FILE_INFORMATION info{};
    GetFileInformationByHandle(folder, &info);
    CloseHandle(folder);
    char name[64];
    std::snprintf(name, sizeof name, "Global\\br927config-click-%08lx-%08lx%08lx", info.dwVolumeSerialNumber,
                  info.nFileIndexHigh, info.nFileIndexLow);
    return CreateMutexA(nullptr, FALSE, name);
}

// A second window or console waits while a click is under way, then runs its own click whole;
// its start reads the state file without waiting. The test holds the lock as a click would and
// lets go of it now and then: a mutex passes at once to a process waiting for it, so the test
// knows when the console waited, and until then the console must have printed no more than
// its start and written nothing.
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
        const std::string printed = readWholeFile("../out.txt");
        EXPECT_EQ(std::string("BinPatch 0: deaktiviert [Aktivieren]\nCabview 1024: 1024x768 [1280 x 1024]\n").rfind(printed, 0), 0u)
            << "it clicked while the click was under way: " << printed;
        // Only once the console runs: it inherits every handle open while it starts, and one
        // on the state file would keep its click from replacing it.
        if (!printed.empty()) {
            EXPECT_EQ(stateFileBytes(), "0\r\n1024");
        }
        ReleaseMutex(lock);
        handedOver = WaitForSingleObject(lock, 0) == WAIT_TIMEOUT;
        if (!handedOver)
            Sleep(20);
    }
    second.join();
    CloseHandle(lock);
    EXPECT_TRUE(handedOver) << "the console never waited for the click lock";
    EXPECT_EQ(waited.exitCode, 0) << waited.out;
    EXPECT_EQ(stateFileBytes(), "1\r\n1024");
}

// Another program (HOLD_FILE_PATH) holding a file open without FILE_SHARE_DELETE (or sharing
// nothing), from the moment the object is made to its end.
class HeldFile {
public:
    explicit HeldFile(const std::string& path, bool sharesNothing)
    {
        const std::string name = "br927-held-" + std::to_string(GetCurrentProcessId()) + "-" + path.substr(path.rfind('/') + 1);
        held_ = CreateEventA(NULL, TRUE, FALSE, name.c_str());
        std::string command = "\"" HOLD_FILE_PATH "\" \"" + path + "\" " + name + (sharesNothing ? " nothing" : "");
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        if (startProcess(nullptr, command, FALSE, 0, nullptr, startup, process_))
            holding_ = WaitForSingleObject(held_, 30000) == WAIT_OBJECT_0;
    }
    ~HeldFile()
    {
        if (process_.hProcess != NULL) {
            TerminateProcess(process_.hProcess, 0);
            WaitForSingleObject(process_.hProcess, 10000);
            CloseHandle(process_.hProcess);
            CloseHandle(process_.hThread);
        }
        CloseHandle(held_);
    }
    bool holding() const { return holding_; }

private:
    HANDLE held_;
    PROCESS_INFORMATION process_{};
    bool holding_ = false;
};

// Watches the folder of a file for the new file that a click fills beside it before its
// rename: when it appears, the click has reached that file.
class NewFileWatch {
public:
    explicit NewFileWatch(const std::string& path)
        : newFile_(path + kNewFileSuffix),
          change_(FindFirstChangeNotificationA(path.find('/') == std::string::npos ? "." : path.substr(0, path.rfind('/')).c_str(),
                                               FALSE, FILE_NOTIFY_CHANGE_FILE_NAME))
    {
    }
    ~NewFileWatch() { FindCloseChangeNotification(change_); }

    // Waits until it is there, for at most a minute.
    bool appeared() const
    {
        while (!fileExists(newFile_.c_str())) {
            if (WaitForSingleObject(change_, 60000) != WAIT_OBJECT_0)
                return false;
            FindNextChangeNotification(change_);
        }
        return true;
    }

private:
    std::string newFile_;
    HANDLE change_;
};

// How another program keeps a file from a click: open for a moment after the click met it,
// open for longer than the click's patience, made read-only, or a folder where its new file goes.
enum class Hold { ForAMoment, PastTheBound, ReadOnly, FolderBeside };

// Which files are held: the first live files of the batch, the state file, or the second
// step's source (the first step's new file appears just before the click opens it).
enum class Held { LiveFiles, StateFile, SecondSource };

struct HeldCase {
    const char* name;
    Held held;
    Hold hold;
    const char* reason; // null: the click succeeds
    size_t files = 1;   // how many live files are held
    bool sharesNothing = false;
};

void PrintTo(const HeldCase& held, std::ostream* out)
{
    *out << held.name;
}

class FilesOtherProgramsHold : public testing::TestWithParam<HeldCase> {};

// A file held for a moment is waited for; one held past the bound fails alone, named with its
// reason, within the bound, its old content whole, and the next click repairs it; files held
// past the bound share one allowance; a read-only live file, or a folder in its new file's
// place, is refused at once.
TEST_P(FilesOtherProgramsHold, AreWaitedForWithinTheBoundAndARefusalFailsAtOnce)
{
    const HeldCase& held = GetParam();
    const std::vector<CopyStep> all = stepsToRun(Batch::EngfilesBin, 1024);
    const std::vector<CopyStep> steps(all.begin(), all.begin() + static_cast<long>(held.files));
    const std::string path = held.held == Held::StateFile ? "br927.zekconfig" : steps.front().target;
    ScratchTree tree;
    tree.createContent();
    writeStateFile("0\r\n1024");
    std::vector<std::string> before;
    for (const CopyStep& step : steps)
        before.push_back(tree.read(step.target));
    std::vector<std::unique_ptr<HeldFile>> holders;
    if (held.hold == Hold::ReadOnly) {
        ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
    } else if (held.hold == Hold::FolderBeside) {
        ASSERT_TRUE(CreateDirectoryA((path + kNewFileSuffix).c_str(), nullptr));
    } else {
        for (const CopyStep& step : steps) {
            const std::string file = held.held == Held::LiveFiles ? step.target : held.held == Held::StateFile ? path : all[1].source;
            holders.push_back(std::make_unique<HeldFile>(file, held.sharesNothing));
            ASSERT_TRUE(holders.back()->holding());
        }
    }
    const NewFileWatch watch(path);
    const ULONGLONG start = GetTickCount64();
    Result click;
    std::thread console([&] { click = runConsole("binpatch"); });
    if (held.hold == Hold::ForAMoment) {
        EXPECT_TRUE(watch.appeared()) << "the click never reached the held file";
        Sleep(500); // the other program's moment
        holders.clear();
    }
    console.join();
    const ULONGLONG took = GetTickCount64() - start;
    EXPECT_EQ(stateFileBytes(), "1\r\n1024");
    if (held.reason == nullptr) {
        EXPECT_EQ(click.exitCode, 0) << click.out;
        EXPECT_EQ(runConsole("check").exitCode, 0);
        return;
    }
    EXPECT_EQ(click.exitCode, 1);
    const std::string reason = std::string(" (") + held.reason + ")\n";
    for (size_t file = 0; file < steps.size(); ++file) {
        EXPECT_NE(click.out.find("Kopieren fehlgeschlagen: " + steps[file].source + " -> " + steps[file].target + reason),
                  std::string::npos)
            << click.out;
        EXPECT_EQ(tree.read(steps[file].target), before[file]);
    }
    const std::string count = steps.size() == 1 ? "1 Datei" : std::to_string(steps.size()) + " Dateien";
    EXPECT_NE(click.out.find("[Fehler] Nicht kopiert: " + count + ", zuerst " + path + reason), std::string::npos);
    if (!holders.empty()) {
        EXPECT_GE(took, kPatienceMs) << "it gave up before the bound";
        // Were each file given an allowance of its own, the files would take one each.
        EXPECT_LT(took, steps.size() > 1 ? steps.size() * kPatienceMs : kPatienceMs + 30000) << "it waited past the bound";
    } else {
        EXPECT_LT(took, kPatienceMs) << "a refusal was waited for";
    }
    holders.clear();
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    RemoveDirectoryA((path + kNewFileSuffix).c_str());
    EXPECT_EQ(runConsole("binpatch").exitCode, 0);
    EXPECT_EQ(runConsole("check").exitCode, 0);
}

INSTANTIATE_TEST_SUITE_P(ConsoleUnderWine, FilesOtherProgramsHold,
                         testing::Values(HeldCase{"ALiveFileForAMoment", Held::LiveFiles, Hold::ForAMoment, nullptr},
                                         HeldCase{"TheStateFileForAMoment", Held::StateFile, Hold::ForAMoment, nullptr},
                                         HeldCase{"ASourceSharingNothingForAMoment", Held::SecondSource, Hold::ForAMoment, nullptr, 1, true},
                                         HeldCase{"ALiveFilePastTheBound", Held::LiveFiles, Hold::PastTheBound,
                                                  "von einem anderen Programm geoeffnet"},
                                         HeldCase{"TwoLiveFilesPastTheBound", Held::LiveFiles, Hold::PastTheBound,
                                                  "von einem anderen Programm geoeffnet", 2},
                                         HeldCase{"ALiveFileReadOnly", Held::LiveFiles, Hold::ReadOnly, "Zugriff verweigert"},
                                         HeldCase{"AFolderBesideALiveFile", Held::LiveFiles, Hold::FolderBeside, "keine Datei"}),
                         [](const auto& held) { return std::string(held.param.name); });

// A mark that another program holds past the bound (as a scanner holds a file that just
// appeared) cannot be removed: the start says so and fails, rather than leave it to be taken
// for a click cut off at every later start; once let go, the next start removes it without a
// word, as nothing was left to finish.
TEST(ConsoleUnderWine, AMarkHeldPastTheBoundIsToldAsNotRemoved)
{
    ScratchTree tree;
    tree.createContent();
    writeStateFile("0\r\n1024");
    ASSERT_EQ(runConsole("apply").exitCode, 0);
    writeWholeFile("br927.umschaltung-laeuft", "");
    auto holder = std::make_unique<HeldFile>("br927.umschaltung-laeuft", false);
    ASSERT_TRUE(holder->holding());
    const Result held = runConsole("apply");
    EXPECT_EQ(held.exitCode, 1);
    EXPECT_EQ(held.out.find("[Fehler] Nicht entfernt: br927.umschaltung-laeuft (von einem anderen Programm geoeffnet)\n"), 0u)
        << held.out;
    holder.reset();
    const Result start = runConsole("apply");
    EXPECT_EQ(start.exitCode, 0);
    EXPECT_EQ(start.out, "BinPatch 0: 248 von 248 Dateien stimmen\nCabview 1024: 18 von 18 Dateien stimmen\n");
    EXPECT_FALSE(fileExists("br927.umschaltung-laeuft"));
}

// A player's edits of live files are kept aside, byte for byte, before the click replaces them,
// each at its path as the disk spells it (the tables spell the live front texture's folder
// CABVIEW, the disk Cabview), and found so whatever the letter case of every name on the disk.
struct SpellingCase {
    const char* name;
    std::string (*spelling)(std::string name);
};

void PrintTo(const SpellingCase& spelling, std::ostream* out)
{
    *out << spelling.name;
}

class EditedLiveFiles : public testing::TestWithParam<SpellingCase> {};

TEST_P(EditedLiveFiles, AreKeptAsideByteForByteBeforeTheClickReplacesThem)
{
    ScratchTree tree;
    ContentTreeOptions options;
    if (GetParam().spelling != nullptr)
        options.spelling = GetParam().spelling;
    tree.createContent(options);
    writeStateFile("0\r\n1024");
    const CopyStep step = stepsToRun(Batch::EngfilesBin, 1024).front();
    const std::string front = "../../trains/trainset/ZEK_BR927_serie1/CABVIEW/927_front1024.ace";
    const std::string edit("tuned by hand\r\n\0\xff", 17);
    writeWholeFile(tree.find(step.target), edit);
    writeWholeFile(tree.find(front), edit);
    const Result click = runConsole("binpatch");
    EXPECT_EQ(click.exitCode, 0) << click.out;
    EXPECT_NE(click.out.find("Gesichert: " + step.target + " -> Sicherungen/"), std::string::npos) << click.out;
    std::map<std::string, std::string> kept;
    for (const auto& entry : fs::recursive_directory_iterator("Sicherungen"))
        if (entry.is_regular_file())
            kept[withoutKeptTimes(entry.path().generic_string())] = readWholeFile(entry.path().string());
    const auto keptAt = [](const std::string& tablePath) { return "Sicherungen/<Zeit>/" + belowRoot(spellingOnDisk(tablePath)); };
    EXPECT_EQ(kept, (std::map<std::string, std::string>{{keptAt(step.target), edit}, {keptAt(front), edit}}));
    EXPECT_EQ(tree.read(step.target), tree.read(step.source));
}

INSTANTIATE_TEST_SUITE_P(ConsoleUnderWine, EditedLiveFiles,
                         testing::Values(SpellingCase{"SpeltAsTheTables", nullptr},
                                         SpellingCase{"EveryNameInAnotherCase", swappedCase}),
                         [](const auto& spelling) { return std::string(spelling.param.name); });

} // namespace
