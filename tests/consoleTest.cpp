#include "consoleProcess.h"
#include "stateFile.h"
#include "scratchTree.h"

#include <gtest/gtest.h>

#include <fcntl.h>

#include <chrono>
#include <sstream>

namespace fs = std::filesystem;

namespace {

const std::string kTrainsets = "../../trains/trainset/";
const std::string kReadError = "[Meldung] Fehler beim Lesen der Konfigurationsdatei BR927.zekconfig.\n";
const std::string kFailed = "[Fehler] Fehler beim Verarbeiten von mindestens einer Datei!\n";
const std::string kNoTree = "Ordner fehlt: ../../trains/trainset\n";
const std::string kOff1024 = "BinPatch 0: deaktiviert [Aktivieren]\nCabview 1024: 1024x768 [1280 x 1024]\n";
const std::string kOn1024 = "BinPatch 1: aktiviert [Deaktivieren]\nCabview 1024: 1024x768 [1280 x 1024]\n";
const std::string kOn1280 = "BinPatch 1: aktiviert [Deaktivieren]\nCabview 1280: 1280x1024 [1024 x 768]\n";
const std::string kUnread = "BinPatch -1: deaktiviert [Aktivieren]\nCabview -1: 1280x1024 [1024 x 768]\n";
const std::string kUsage = "Aufruf: br927config";

ConsoleRun runConsole(const std::vector<std::string>& args)
{
    return runToEnd(CONSOLE_PATH, args);
}

std::string stateFileOrNone()
{
    return fs::exists("br927.zekconfig") ? stateFileBytes() : "<none>";
}

TEST(Console, WithoutAClickPrintsTheRowsTheReadErrorOrTheRefusalAndTouchesNothing)
{
    ScratchTree tree;
    const struct {
        const char* file;
        std::vector<std::string> args;
        std::string out;
        int exitCode;
    } starts[] = {
        {"0\r\n1024", {}, kOff1024, 0},
        {"", {"binpatch"}, kReadError + kUnread, 1},
        {"<none>", {"binpatch", "cabview"}, kReadError + kUnread, 1},
        {"1\r\n", {"cabview"}, kReadError + "BinPatch 1: aktiviert [Deaktivieren]\nCabview -1: 1280x1024 [1024 x 768]\n", 1},
        {"1\r\n900", {"plan", "cabview"}, "[Meldung] Fehler\n", 1},
        // No content tree two levels up: the click cannot begin, and its plan says so.
        {"0\r\n1024", {"binpatch"}, kOff1024 + kNoTree + kFailed + kOff1024, 1},
        {"0\r\n1024", {"plan", "binpatch"}, kNoTree + kFailed, 1},
        {"<none>", {"plan", "binpatch"}, kReadError, 1},
        {"<none>", {"check"}, kReadError, 1},
    };
    for (const auto& start : starts) {
        SCOPED_TRACE(testing::Message() << start.file << " " << (start.args.empty() ? "" : start.args[0]));
        fs::remove("br927.zekconfig");
        if (std::string(start.file) != "<none>")
            writeStateFile(start.file);
        const ConsoleRun result = runConsole(start.args);
        EXPECT_EQ(result.out, start.out);
        EXPECT_EQ(result.exitCode, start.exitCode);
        EXPECT_EQ(stateFileOrNone(), start.file);
    }
}

TEST(Console, ClicksPrintMessagesRowsAndEachFailedCopyAsItFailsAndAClosedOutputStopsNone)
{
    ScratchTree tree;
    tree.createContent();
    const std::string first = "ZEK_BR927_serie1/Cabview/";
    const std::string last = "ZEK_BR927_prototyp/Cabview/";
    tree.remove(kTrainsets + first + "1280x1024/927_left1024.ace");
    tree.remove(kTrainsets + last + "1280x1024/night/927_right1024.ace");
    writeStateFile("0\r\n1024");
    const ConsoleRun result = runConsole({"binpatch", "cabview", "cabview", "binpatch"});
    EXPECT_EQ(result.out, kOff1024 + "[Aktion ausgefuehrt] BinPatch-Konfiguration erflgreich aktiviert\n" + kOn1024
                              + "Kopieren fehlgeschlagen: " + kTrainsets + first + "1280x1024/927_left1024.ace -> "
                              + kTrainsets + first + "927_left1024.ace (Quelle fehlt)\n"
                              + "Kopieren fehlgeschlagen: " + kTrainsets + last + "1280x1024/night/927_right1024.ace -> "
                              + kTrainsets + last + "night/927_right1024.ace (Quelle fehlt)\n" + kFailed
                              + "[Fehler] Nicht kopiert: 2 Dateien, zuerst " + kTrainsets + first
                              + "927_left1024.ace (Quelle fehlt)\n" + kOn1280
                              + "[Aktion ausgefuehrt] Cabview-Aufloesung erfolgreich auf 1024x768 umgestellt\n" + kOn1024
                              + "[Aktion ausgefuehrt] BinPatch-Konfiguration erflgreich deaktiviert\n" + kOff1024);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(stateFileBytes(), "0\r\n1024");

    // A reader that goes away (`br927config binpatch | head -n 2`) must not end a click midway:
    // the failed copies of one trainset fill the pipe long before the batch ends.
    tree.remove(kTrainsets + "ZEK_BR927_prototyp/BinPatch");
    Console closed(CONSOLE_PATH, {"binpatch"});
    closed.closeOutput();
    EXPECT_EQ(closed.finish(), 1);
    EXPECT_EQ(stateFileBytes(), "1\r\n1024");
    EXPECT_EQ(tree.read(kTrainsets + "ZEK_BR927_ICE2_KI/ZEK_BR808_rv_KI.eng"), "ZEK_BR927_ICE2_KI/BinPatch/ZEK_BR808_rv_KI.eng\n");
}

TEST(Console, InteractiveClicksOnePerLineLeakNoDescriptorAndAStateFileThatCannotBeWrittenIsNamed)
{
    ScratchTree tree;
    tree.createContent();
    writeStateFile("1\r\n1024");
    Console console(CONSOLE_PATH, {"-i"});
    EXPECT_EQ(console.readUntilRows(), kOn1024);
    const int descriptorsAtStart = console.openDescriptors();
    fs::remove("br927.zekconfig");
    fs::create_directory("br927.zekconfig");
    console.send("cabview\r");
    // A click that cannot record its new setting does not begin: it would be gone at the next start.
    EXPECT_EQ(console.readUntilRows(), "Speichern fehlgeschlagen: br927.zekconfig (keine Datei)\n" + kFailed
                                           + "[Fehler] Nicht gespeichert: br927.zekconfig (keine Datei)\n" + kOn1024);
    EXPECT_EQ(tree.read(kTrainsets + "ZEK_BR927_serie1/Cabview/927_left1024.ace"), "ZEK_BR927_serie1/Cabview/1024x768/927_left1024.ace\n");
    fs::remove("br927.zekconfig");
    console.send("");
    console.send("nonsense");
    console.send("binpatch");
    EXPECT_EQ(console.readUntilRows(), "[Aktion ausgefuehrt] BinPatch-Konfiguration erflgreich deaktiviert\n"
                                       "BinPatch 0: deaktiviert [Aktivieren]\nCabview 1024: 1024x768 [1280 x 1024]\n");
    EXPECT_EQ(stateFileBytes(), "0\r\n1024");
    EXPECT_LE(console.openDescriptors(), descriptorsAtStart) << "a click left a descriptor open";
    console.closeInput();
    EXPECT_EQ(console.readRest(), "");
    EXPECT_EQ(console.readErrors(), "Unbekannter Befehl: nonsense\n");
    EXPECT_EQ(console.finish(), 1);
}

// `plan` prints every step of the next click, marking the missing sources and the live files
// it will keep aside first (an edit that keeps the file's size among them), and writes
// nothing; the click then does exactly that.
TEST(Console, PlanPrintsTheStepsTheNextClickCarriesOutAndChangesNothing)
{
    ScratchTree tree;
    tree.createContent();
    const std::string missing = kTrainsets + "ZEK_BR927_ICE1_M_KI/BinPatch/ZEK_BR401_rv_KI.eng";
    tree.remove(missing);
    const std::string edited = kTrainsets + "ZEK_BR927_ki/ZEK_BR_927-ki-s1_wannsee-k.eng";
    std::string sameSize = tree.read(edited);
    sameSize.front() ^= 1;
    writeWholeFile(tree.find(edited), sameSize);
    // Not the time of any variant, which would pass for its bytes unread.
    fs::last_write_time(tree.find(edited), fs::file_time_type::clock::now() - std::chrono::hours(24 * 365));
    writeStateFile("0\r\n1280");
    const Snapshot before = tree.now();
    std::string clickLines;
    for (const auto& [button, batch] : {std::pair("cabview", Batch::Cabfiles1024), std::pair("binpatch", Batch::EngfilesBin)}) {
        std::string steps;
        for (const CopyStep& step : stepsToRun(batch, 1280)) {
            steps += step.source + " -> " + step.target;
            if (step.source == missing) {
                steps += " (fehlt)";
                clickLines += "Kopieren fehlgeschlagen: " + step.source + " -> " + step.target + " (Quelle fehlt)\n";
            }
            if (step.target == edited) {
                steps += " (wird gesichert)";
                clickLines += "Gesichert: " + edited + " -> Sicherungen/";
            }
            steps += "\n";
        }
        const ConsoleRun plan = runConsole({"plan", button});
        EXPECT_EQ(plan.out, steps);
        EXPECT_EQ(plan.exitCode, 0);
    }
    expectSameTree(tree.now(), before);

    const ConsoleRun click = runConsole({"binpatch"});
    std::string told;
    std::istringstream lines(click.out);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("Gesichert: ", 0) == 0)
            told += line.substr(0, line.find("Sicherungen/") + 12);
        else if (line.rfind("Kopieren fehlgeschlagen: ", 0) == 0)
            told += line + "\n";
    }
    EXPECT_EQ(told, clickLines) << click.out;
    const auto fails = [&](const CopyStep& step) { return step.source == missing; };
    Snapshot expected = tree.afterCopies(before, stepsToRun(Batch::EngfilesBin, 1280), fails);
    expected["ZEK/BR927/br927.zekconfig"] = "1\r\n1280";
    Snapshot after = tree.now();
    for (auto kept = after.begin(); kept != after.end();)
        kept = kept->first.find("/Sicherungen") != std::string::npos ? after.erase(kept) : std::next(kept);
    expectSameTree(after, expected);
}

TEST(Console, CheckCountsTheStepsInOrderNamesEveryOtherAndExitsWithZeroOnlyForAWholeTree)
{
    ScratchTree tree;
    tree.createContent();
    writeStateFile("0\r\n1024");
    ASSERT_EQ(runConsole({"binpatch", "binpatch", "cabview", "cabview"}).exitCode, 0);
    const auto expectCheck = [&](const char* file, const std::string& out, int exitCode) {
        writeStateFile(file);
        const Snapshot before = tree.now();
        const ConsoleRun check = runConsole({"check"});
        EXPECT_EQ(check.out, out) << file;
        EXPECT_EQ(check.exitCode, exitCode) << file;
        expectSameTree(tree.now(), before);
    };
    expectCheck("0\r\n1024", "BinPatch 0: 248 von 248 Dateien stimmen\nCabview 1024: 18 von 18 Dateien stimmen\n", 0);
    expectCheck("7\r\n1024", "BinPatch 7: kein gueltiger Wert\nCabview 1024: 18 von 18 Dateien stimmen\n", 1);
    expectCheck("0\r\n800", "BinPatch 0: 242 von 242 Dateien stimmen\nCabview 800: kein gueltiger Wert\n", 1);

    const std::string engine = kTrainsets + "ZEK_BR927_ki/ZEK_BR_927-ki-k.eng";
    std::string sameLength = tree.read(engine);
    sameLength.back() ^= 1;
    writeWholeFile(tree.find(engine), sameLength);
    const std::string shape = kTrainsets + "ZEK_BR927_prototyp/927-k.s";
    writeWholeFile(tree.find(shape), tree.read(shape) + "x");
    const std::string source = kTrainsets + "ZEK_BR927_ICE1_M_KI/noBinPatch/ZEK_BR401_rv_KI.eng";
    tree.remove(source);
    const std::string live = kTrainsets + "ZEK_BR927_serie1/Cabview/night/927_left1024.ace";
    tree.remove(live);
    // Compared through the case the tables do not use on disk: serie2's CABVIEW.
    const std::string texture = kTrainsets + "ZEK_BR927_serie2/Cabview/927_right1024.ace";
    writeWholeFile(tree.find(texture), "changed by hand");
    expectCheck("0\r\n1024",
                "BinPatch 0: 245 von 248 Dateien stimmen\nCabview 1024: 16 von 18 Dateien stimmen\nAbweichend: " + shape
                    + "\nAbweichend: " + engine + "\nQuelle fehlt: " + source + "\nFehlt: " + live + "\nAbweichend: "
                    + texture + "\n",
                1);
}

// A script learns from the exit code of every click that did not happen and of every output
// that did not arrive; a wrong argument prints the usage and touches nothing.
TEST(Console, ExitCodesTellOfClicksNotMadeOutputLostAndWrongArguments)
{
    ScratchTree tree;
    tree.createContent();
    writeStateFile("0\r\n1024");
    const int devNull = ::open("/dev/null", O_WRONLY);
    const int devFull = ::open("/dev/full", O_WRONLY);
    int closedPipe[2];
    ASSERT_EQ(::pipe(closedPipe), 0);
    ::close(closedPipe[0]);
    const struct {
        std::vector<std::string> args;
        int out;
        const char* input;
        int exitCode;
    } runs[] = {
        {{"-i"}, devNull, "binpatch\nbinpatch", 0},          {{"-i"}, devNull, "binpatch\nnonsense\nbinpatch", 1},
        {{"--help"}, devNull, "", 0},                        {{"--version"}, devNull, "", 0},
        {{"--help"}, devFull, "", 1},                        {{"--version"}, closedPipe[1], "", 1},
    };
    for (const auto& run : runs) {
        Console console(CONSOLE_PATH, run.args, run.out);
        if (*run.input != '\0')
            console.send(run.input);
        EXPECT_EQ(console.finish(), run.exitCode) << run.args[0] << " " << run.input;
    }
    for (const int fd : {devNull, devFull, closedPipe[1]})
        ::close(fd);
    const std::vector<std::vector<std::string>> wrong = {
        {"BinPatch"}, {"binpatch", "x"}, {"plan"}, {"plan", "x"}, {"plan", "binpatch", "cabview"},
        {"-i", "binpatch"}, {"binpatch", "-i"}, {""}, {"check", "binpatch"}, {"--help", "x"}, {"-h"},
    };
    for (const auto& args : wrong) {
        const ConsoleRun result = runConsole(args);
        EXPECT_EQ(result.exitCode, 2) << args[0];
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err.rfind(kUsage, 0), 0u) << result.err;
    }
    EXPECT_EQ(stateFileBytes(), "0\r\n1024");
}

} // namespace
