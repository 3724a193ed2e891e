#include "consoleProcess.h"
#include "scratchTree.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

const std::string kTrainsets = "../../trains/trainset/";
const std::string kStartRows = "BinPatch 0: deaktiviert [Aktivieren]\nCabview 1024: 1024x768 [1280 x 1024]\n";
const std::string kReadError = "[Meldung] Fehler beim Lesen der Konfigurationsdatei BR927.zekconfig.\n";

struct Result {
    std::string out;
    std::string err;
    int exitCode;
};

Result runConsole(const std::vector<std::string>& args)
{
    Console console(CONSOLE_PATH, args);
    console.closeInput();
    Result result;
    result.out = console.readRest();
    result.err = console.readErrors();
    result.exitCode = console.finish();
    return result;
}

class ConsoleTest : public testing::Test {
protected:
    void SetUp() override { tree.createContent(); }
    ScratchTree tree;
};

TEST_F(ConsoleTest, StartUpRowsFollowTheStateFile)
{
    const struct {
        std::string file;
        std::string output;
    } starts[] = {
        {"0\r\n1024", kStartRows},
        {"1\n1280\r\n", "BinPatch 1: aktiviert [Deaktivieren]\nCabview 1280: 1280x1024 [1024 x 768]\n"},
        {"17\r\n  1280", "BinPatch 1: aktiviert [Deaktivieren]\nCabview 128: 1280x1024 [1024 x 768]\n"},
        {"7\r\n800", "BinPatch 7: deaktiviert [Aktivieren]\nCabview 800: 1280x1024 [1024 x 768]\n"},
        {"x\r\nabc", "BinPatch 0: deaktiviert [Aktivieren]\nCabview 0: 1280x1024 [1024 x 768]\n"},
        {"1\r\n-1", kReadError + "BinPatch 1: aktiviert [Deaktivieren]\nCabview -1: 1280x1024 [1024 x 768]\n"},
        {"", kReadError + "BinPatch -1: deaktiviert [Aktivieren]\nCabview -1: 1280x1024 [1024 x 768]\n"},
    };
    for (const auto& start : starts) {
        writeStateFile(start.file);
        const Result result = runConsole({});
        EXPECT_EQ(result.out, start.output) << start.file;
        EXPECT_EQ(result.exitCode, start.output.rfind(kReadError, 0) == 0 ? 1 : 0) << start.file;
    }
}

TEST_F(ConsoleTest, MissingStateFileEndsAfterOneMessageWithoutClicking)
{
    const std::string engine = tree.read(kTrainsets + "ZEK_BR927_ki/ZEK_BR_927-ki-k.eng");
    const Result result = runConsole({"binpatch", "cabview"});
    EXPECT_EQ(result.out, kReadError + "BinPatch -1: deaktiviert [Aktivieren]\nCabview -1: 1280x1024 [1024 x 768]\n");
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_FALSE(std::filesystem::exists("br927.zekconfig"));
    EXPECT_EQ(tree.read(kTrainsets + "ZEK_BR927_ki/ZEK_BR_927-ki-k.eng"), engine);
}

TEST_F(ConsoleTest, ClicksRunInOrderAndPrintEveryMessageAndRow)
{
    writeStateFile("0\r\n1024");
    const Result result = runConsole({"binpatch", "cabview", "binpatch", "cabview"});
    EXPECT_EQ(result.out, kStartRows +
                              "[Aktion ausgefuehrt] BinPatch-Konfiguration erflgreich aktiviert\n"
                              "BinPatch 1: aktiviert [Deaktivieren]\nCabview 1024: 1024x768 [1280 x 1024]\n"
                              "[Aktion ausgefuehrt] Cabview-Aufloesung erfolgreich auf 1280x1024 umgestellt\n"
                              "BinPatch 1: aktiviert [Deaktivieren]\nCabview 1280: 1280x1024 [1024 x 768]\n"
                              "[Aktion ausgefuehrt] BinPatch-Konfiguration erflgreich deaktiviert\n"
                              "BinPatch 0: deaktiviert [Aktivieren]\nCabview 1280: 1280x1024 [1024 x 768]\n"
                              "[Aktion ausgefuehrt] Cabview-Aufloesung erfolgreich auf 1024x768 umgestellt\n" +
                              kStartRows);
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(stateFileBytes(), "0\r\n1024");
    // Both switches back: the unpatched front at 1024x768 is live again.
    EXPECT_EQ(tree.read(kTrainsets + "ZEK_BR927_serie2/CABVIEW/night/927_front1024.ace"),
              "ZEK_BR927_serie2/noBinPatch/Cabview/1024x768/night/927_front1024.ace\n");
}

TEST_F(ConsoleTest, FailedCopiesAreNamedBeforeTheFailureMessage)
{
    const std::string first = kTrainsets + "ZEK_BR927_serie1/Cabview/1280x1024/927_left1024.ace";
    const std::string second = kTrainsets + "ZEK_BR927_prototyp/Cabview/1280x1024/night/927_right1024.ace";
    tree.remove(first);
    tree.remove(second);
    writeStateFile("1\r\n1024");
    const Result result = runConsole({"cabview"});
    EXPECT_EQ(result.out, "BinPatch 1: aktiviert [Deaktivieren]\nCabview 1024: 1024x768 [1280 x 1024]\n"
                          "Kopieren fehlgeschlagen: " + first + " -> " + kTrainsets +
                              "ZEK_BR927_serie1/Cabview/927_left1024.ace\n"
                              "Kopieren fehlgeschlagen: " + second + " -> " + kTrainsets +
                              "ZEK_BR927_prototyp/Cabview/night/927_right1024.ace\n"
                              "[Fehler] Fehler beim Verarbeiten von mindestens einer Datei!\n"
                              "BinPatch 1: aktiviert [Deaktivieren]\nCabview 1280: 1280x1024 [1024 x 768]\n");
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(stateFileBytes(), "1\r\n1280");
}

TEST_F(ConsoleTest, InteractiveClicksSeeTheStateFileChangeBetweenThem)
{
    writeStateFile("1\r\n1024");
    Console console(CONSOLE_PATH, {"-i"});
    EXPECT_EQ(console.readUntilRows(), "BinPatch 1: aktiviert [Deaktivieren]\nCabview 1024: 1024x768 [1280 x 1024]\n");

    writeStateFile("0\r\n1024"); // first line edited by hand
    console.send("cabview");
    EXPECT_EQ(console.readUntilRows(),
              "[Aktion ausgefuehrt] Cabview-Aufloesung erfolgreich auf 1280x1024 umgestellt\n"
              "BinPatch 1: aktiviert [Deaktivieren]\nCabview 1280: 1280x1024 [1024 x 768]\n");
    EXPECT_EQ(stateFileBytes(), "0\r\n1280");

    std::filesystem::remove("br927.zekconfig"); // vanished while the tool runs
    console.send("binpatch");
    EXPECT_EQ(console.readUntilRows(),
              "[Aktion ausgefuehrt] BinPatch-Konfiguration erflgreich deaktiviert\n"
              "BinPatch 0: deaktiviert [Aktivieren]\nCabview 1280: 1280x1024 [1024 x 768]\n");
    EXPECT_EQ(stateFileBytes(), "0\r\n1280");

    console.send("");
    console.send("nonsense");
    console.send("binpatch\r");
    EXPECT_EQ(console.readUntilRows(),
              "[Aktion ausgefuehrt] BinPatch-Konfiguration erflgreich aktiviert\n"
              "BinPatch 1: aktiviert [Deaktivieren]\nCabview 1280: 1280x1024 [1024 x 768]\n");
    console.closeInput();
    EXPECT_EQ(console.readRest(), "");
    EXPECT_EQ(console.readErrors(), "Unbekannter Befehl: nonsense\n");
    EXPECT_EQ(console.finish(), 0);
}

TEST_F(ConsoleTest, InteractiveRefusalOfAnUnexpectedValueChangesNothing)
{
    writeStateFile("7\r\n1024");
    Console console(CONSOLE_PATH, {"-i"});
    console.readUntilRows();
    console.send("binpatch");
    EXPECT_EQ(console.readUntilRows(), "[Meldung] Fehler\nBinPatch 7: deaktiviert [Aktivieren]\n"
                                       "Cabview 1024: 1024x768 [1280 x 1024]\n");
    EXPECT_EQ(stateFileBytes(), "7\r\n1024");
    EXPECT_EQ(console.finish(), 1);
}

TEST_F(ConsoleTest, PlanListsTheNextClicksStepsAndChangesNothing)
{
    tree.remove(kTrainsets + "ZEK_BR927_ICE1_M_KI/BinPatch/ZEK_BR401_rv_KI.eng");
    writeStateFile("0\r\n1280");
    const auto before = tree.read(kTrainsets + "ZEK_BR927_ICE1_M_KI/ZEK_BR401_rv_KI.eng");

    const Result binpatch = runConsole({"plan", "binpatch"});
    EXPECT_EQ(binpatch.exitCode, 0);
    EXPECT_EQ(std::count(binpatch.out.begin(), binpatch.out.end(), '\n'), 246);
    EXPECT_EQ(binpatch.out.rfind(kTrainsets + "ZEK_BR927_prototyp/BinPatch/ZEK_BR_927-proto-k.eng -> " + kTrainsets +
                                     "ZEK_BR927_prototyp/ZEK_BR_927-proto-k.eng\n",
                                 0),
              0u);
    EXPECT_NE(binpatch.out.find(kTrainsets + "ZEK_BR927_prototyp/BinPatch/Cabview/1280x1024/927_front1024.ace -> " +
                                kTrainsets + "ZEK_BR927_prototyp/CABVIEW/927_front1024.ace\n"),
              std::string::npos);
    EXPECT_NE(binpatch.out.find(kTrainsets + "ZEK_BR927_ICE1_M_KI/BinPatch/ZEK_BR401_rv_KI.eng -> " + kTrainsets +
                                "ZEK_BR927_ICE1_M_KI/ZEK_BR401_rv_KI.eng (fehlt)\n"),
              std::string::npos);
    EXPECT_EQ(std::count(binpatch.out.begin(), binpatch.out.end(), '('), 1);

    const Result cabview = runConsole({"plan", "cabview"});
    EXPECT_EQ(std::count(cabview.out.begin(), cabview.out.end(), '\n'), 18);
    EXPECT_EQ(cabview.out.rfind(kTrainsets + "ZEK_BR927_serie1/Cabview/1024x768/927_front1024.ace -> ", 0), 0u);

    EXPECT_EQ(stateFileBytes(), "0\r\n1280");
    EXPECT_EQ(tree.read(kTrainsets + "ZEK_BR927_ICE1_M_KI/ZEK_BR401_rv_KI.eng"), before);
}

TEST_F(ConsoleTest, PlanWithoutABatchPrintsTheMessageTheClickWouldShow)
{
    writeStateFile("1\r\n900");
    const Result refused = runConsole({"plan", "cabview"});
    EXPECT_EQ(refused.out, "[Meldung] Fehler\n");
    EXPECT_EQ(refused.exitCode, 1);
    std::filesystem::remove("br927.zekconfig");
    const Result unreadable = runConsole({"plan", "binpatch"});
    EXPECT_EQ(unreadable.out, kReadError);
    EXPECT_EQ(unreadable.exitCode, 1);
    EXPECT_FALSE(std::filesystem::exists("br927.zekconfig"));
}

TEST_F(ConsoleTest, CheckExitsWithZeroOnlyWhenTheLiveFilesMatch)
{
    writeStateFile("0\r\n1024");
    runConsole({"binpatch", "binpatch", "cabview", "cabview"}); // every live file from its batch
    const Result inOrder = runConsole({"check"});
    EXPECT_EQ(inOrder.out, "BinPatch 0: 248 von 248 Dateien stimmen\nCabview 1024: 18 von 18 Dateien stimmen\n");
    EXPECT_EQ(inOrder.exitCode, 0);

    tree.remove(kTrainsets + "ZEK_BR927_ki/ZEK_BR_927-ki-k.eng");
    const Result missing = runConsole({"check"});
    EXPECT_EQ(missing.out, "BinPatch 0: 247 von 248 Dateien stimmen\nCabview 1024: 18 von 18 Dateien stimmen\n"
                           "Fehlt: " + kTrainsets + "ZEK_BR927_ki/ZEK_BR_927-ki-k.eng\n");
    EXPECT_EQ(missing.exitCode, 1);

    std::filesystem::remove("br927.zekconfig");
    const Result unread = runConsole({"check"});
    EXPECT_EQ(unread.out, kReadError);
    EXPECT_EQ(unread.exitCode, 1);
    EXPECT_FALSE(std::filesystem::exists("br927.zekconfig"));
}

TEST_F(ConsoleTest, HelpAndVersionGoToStandardOutput)
{
    const Result help = runConsole({"--help"});
    EXPECT_EQ(help.out.rfind("Aufruf: br927config", 0), 0u);
    EXPECT_EQ(help.exitCode, 0);
    const Result version = runConsole({"--version"});
    EXPECT_EQ(version.out.rfind("br927config ", 0), 0u);
    EXPECT_EQ(version.exitCode, 0);
}

// A reader that goes away (`br927config binpatch | head -n 2`) must not end a click midway:
// the failed copies of one trainset fill the output buffer long before the batch ends.
TEST_F(ConsoleTest, ClosedOutputNeverStopsAClick)
{
    tree.remove(kTrainsets + "ZEK_BR927_prototyp/BinPatch");
    writeStateFile("0\r\n1024");
    Console console(CONSOLE_PATH, {"binpatch"});
    console.closeOutput();
    EXPECT_EQ(console.finish(), 1);
    EXPECT_EQ(stateFileBytes(), "1\r\n1024");
    EXPECT_EQ(tree.read(kTrainsets + "ZEK_BR927_ICE2_KI/ZEK_BR808_rv_KI.eng"),
              "ZEK_BR927_ICE2_KI/BinPatch/ZEK_BR808_rv_KI.eng\n");
}

TEST_F(ConsoleTest, WrongArgumentsPrintUsageAndTouchNothing)
{
    const std::vector<std::vector<std::string>> wrong = {
        {"BinPatch"}, {"binpatch", "x"}, {"plan"}, {"plan", "x"}, {"plan", "binpatch", "cabview"},
        {"-i", "binpatch"}, {"binpatch", "-i"}, {""}, {"check", "binpatch"}, {"--help", "x"}, {"-h"},
    };
    for (const auto& args : wrong) {
        const Result result = runConsole(args);
        EXPECT_EQ(result.exitCode, 2);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err.rfind("Aufruf: br927config", 0), 0u) << result.err;
    }
    EXPECT_FALSE(std::filesystem::exists("br927.zekconfig"));
}

} // namespace
