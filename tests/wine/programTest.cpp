// End-to-end runs of the Windows program under Wine: the program runs as its own process on a
// prepared content tree, and each run checks from outside all that it shows and leaves behind.

#include "programRun.h"
#include "clickLock.h"
#include "resource.h"
#include "copyTables.h"
#include "scratchTree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>

namespace {

const POINT kBinIndicator{270, 67};
const POINT kCabIndicator{270, 112};
const char kReadError[] = "Fehler beim Lesen der Konfigurationsdatei BR927.zekconfig.";

// The client area as the program is meant to paint it: the background with both indicators,
// from the art that the resources are built of.
Pixels expectedPicture(const char* binIndicator, const char* cabIndicator)
{
    Pixels picture = bitmapFile(ART_DIR "/background.bmp");
    for (const auto& [name, at] : {std::pair(binIndicator, kBinIndicator), std::pair(cabIndicator, kCabIndicator)}) {
        const Pixels image = bitmapFile(ART_DIR "/" + std::string(name) + ".bmp");
        for (int y = 0; y < image.height; ++y)
            for (int x = 0; x < image.width; ++x)
                picture.rgb[static_cast<size_t>((at.y + y) * picture.width + at.x + x)] = image.at(x, y);
    }
    return picture;
}

// Whether the window shows the picture, but for its buttons (drawn by the system).
bool shows(HWND window, const Pixels& picture)
{
    RECT client;
    GetClientRect(window, &client);
    const Pixels shown = capture(window, 0, 0, std::min<int>(client.right, picture.width), std::min<int>(client.bottom, picture.height));
    RECT buttons[2];
    for (int i = 0; i < 2; ++i) {
        GetWindowRect(GetDlgItem(window, i == 0 ? IDC_BINPATCH : IDC_CABVIEW), &buttons[i]);
        MapWindowPoints(NULL, window, reinterpret_cast<POINT*>(&buttons[i]), 2);
    }
    for (int y = 0; y < shown.height; ++y)
        for (int x = 0; x < shown.width; ++x)
            if (shown.at(x, y) != picture.at(x, y) && !PtInRect(&buttons[0], {x, y}) && !PtInRect(&buttons[1], {x, y}))
                return false;
    return true;
}

// Once the window is in the foreground, a key pressed and released as the keyboard gives it,
// Shift held if asked: it goes to the window that has the focus there.
void pressKeyIn(HWND foreground, BYTE key, bool shift)
{
    EXPECT_TRUE(waitUntil([&] { return GetForegroundWindow() == foreground; })) << "not in the foreground";
    for (const auto& [which, flags] : {std::pair<BYTE, DWORD>(VK_SHIFT, 0), {key, 0}, {key, KEYEVENTF_KEYUP}, {VK_SHIFT, KEYEVENTF_KEYUP}})
        if (which == key || shift)
            keybd_event(which, 0, flags, 0);
}

class Program : public ::testing::Test {
protected:
    ProgramRun& start(const std::string& stateFile, const std::string& exe = PROGRAM_EXE)
    {
        if (!stateFile.empty())
            writeStateFile(stateFile);
        run_ = std::make_unique<ProgramRun>(exe, tree_.workDir());
        return *run_;
    }

    // The next message box: its title and text, the warning icon, OK alone, owned by the main
    // window (shown by then, or not yet at start-up). Answered with OK.
    void expectMessage(const std::string& title, const std::string& text, bool windowShown = true)
    {
        const MessageBoxSeen box = run_->nextMessageBox();
        ASSERT_NE(box.window, HWND(NULL)) << "no message \"" << text << "\"";
        EXPECT_EQ(std::pair(box.title, box.text), std::pair(title, text));
        EXPECT_TRUE(box.warningIcon) << text;
        EXPECT_TRUE(box.onlyOk) << text;
        EXPECT_EQ(box.owner, run_->mainWindow(false)) << text;
        EXPECT_EQ(IsWindowVisible(box.owner) != FALSE, windowShown) << text;
        ASSERT_TRUE(run_->pressOk(box));
    }

    // The picture (for a moment after a click) and the captions.
    void expectShown(const char* binIndicator, const char* cabIndicator, const std::string& binCaption, const std::string& cabCaption)
    {
        const HWND window = run_->mainWindow(true);
        const Pixels picture = expectedPicture(binIndicator, cabIndicator);
        EXPECT_TRUE(waitUntil([&] { return shows(window, picture); }))
            << "the window does not show " << binIndicator << " and " << cabIndicator;
        EXPECT_EQ(std::pair(run_->caption(IDC_BINPATCH), run_->caption(IDC_CABVIEW)), std::pair(binCaption, cabCaption));
    }

    // Each target of the batch holds what its last step's source holds (earlier batches may
    // have refreshed the source; letter case does not count).
    void expectCopied(Batch batch, int32_t cabview)
    {
        std::map<std::string, std::string> lastSource;
        for (CopyStep step : stepsToRun(batch, cabview))
            lastSource[CharLowerA(step.target.data())] = step.source;
        for (const auto& [target, source] : lastSource)
            EXPECT_EQ(tree_.read(target), tree_.read(source)) << target;
    }

    ScratchTree tree_;
    std::unique_ptr<ProgramRun> run_;
};

TEST_F(Program, ShowsWindowPictureCaptionsMessagesAndFilesOfFourClicksAndExitsWithZero)
{
    const std::vector<CopyStep> cab1280 = stepsToRun(Batch::Cabfiles1280, 0);
    const CopyStep& missing = cab1280.at(cab1280.size() / 2);
    tree_.createContent();
    tree_.remove(missing.source);
    const std::string notCopied = "Nicht kopiert: 1 Datei, zuerst " + missing.target + " (Quelle fehlt)";
    ProgramRun& run = start("0\r\n1024");
    const HWND window = run.mainWindow(true);
    ASSERT_NE(window, HWND(NULL));
    EXPECT_EQ(FindWindowA("Hauptfenster", "ZEK VE927 Varerevuridid"), window);
    RECT outer;
    GetWindowRect(window, &outer);
    EXPECT_EQ(std::pair(outer.right - outer.left, outer.bottom - outer.top), std::pair(500L, 200L));
    EXPECT_EQ(GetWindowLongA(window, GWL_STYLE) & (WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MAXIMIZEBOX), WS_CAPTION | WS_SYSMENU);
    expectShown("bin_off", "cab_1024", "Aktivieren", "1280 x 1024");
    // Before a key the window looks as it does without a keyboard: no button has the focus or
    // the frame of the default button.
    for (HWND button : {GetDlgItem(window, IDC_BINPATCH), GetDlgItem(window, IDC_CABVIEW)})
        EXPECT_TRUE((GetWindowLongA(button, GWL_STYLE) & BS_TYPEMASK) == BS_PUSHBUTTON && (SendMessageA(button, BM_GETSTATE, 0, 0) & BST_FOCUS) == 0);
    // Commands of other controls are no clicks: sent, they return at once and show nothing.
    for (WPARAM id : {1, 303})
        EXPECT_NE(SendMessageTimeoutA(window, WM_COMMAND, id, 0, SMTO_NORMAL, 3000, NULL), 0) << id;

    // The first two clicks by keys alone (with Shift or not): Shift+Tab reaches the last tab stop
    // and Tab the first, Space presses it; the focus comes back to it after its messages, so that
    // Tab moves on to the cab-view button, and Enter presses that.
    const struct {
        std::vector<std::pair<BYTE, bool>> keys; // clicked when none
        int button;
        const char* title;
        const char* text;
        const char* binIndicator;
        const char* cabIndicator;
        const char* binCaption;
        const char* cabCaption;
        const char* stateFile;
        Batch copied;
        int32_t cabview;
    } clicks[] = {
        {{{VK_TAB, true}, {VK_TAB, false}, {VK_SPACE, false}}, IDC_BINPATCH, "Aktion ausgefuehrt", "BinPatch-Konfiguration erflgreich aktiviert", "bin_on", "cab_1024", "Deaktivieren",
         "1280 x 1024", "1\r\n1024", Batch::EngfilesBin, 1024},
        {{{VK_TAB, false}, {VK_RETURN, false}}, IDC_CABVIEW, "Fehler", "Fehler beim Verarbeiten von mindestens einer Datei!", "bin_on", "cab_1280", "Deaktivieren",
         "1024 x 768", "1\r\n1280", Batch::Cabfiles1280, -1},
        {{}, IDC_BINPATCH, "Aktion ausgefuehrt", "BinPatch-Konfiguration erflgreich deaktiviert", "bin_off", "cab_1280", "Aktivieren",
         "1024 x 768", "0\r\n1280", Batch::EngfilesNoBin, 1280},
        {{}, IDC_CABVIEW, "Aktion ausgefuehrt", "Cabview-Aufloesung erfolgreich auf 1024x768 umgestellt", "bin_off", "cab_1024",
         "Aktivieren", "1280 x 1024", "0\r\n1024", Batch::Cabfiles1024, 0},
    };
    for (const auto& click : clicks) {
        SCOPED_TRACE(click.text);
        for (const auto& [key, shift] : click.keys)
            pressKeyIn(window, key, shift);
        if (click.keys.empty())
            run.click(click.button);
        expectMessage(click.title, click.text);
        if (click.cabview < 0)
            expectMessage("Fehler", notCopied);
        expectShown(click.binIndicator, click.cabIndicator, click.binCaption, click.cabCaption);
        EXPECT_EQ(stateFileBytes(), click.stateFile);
        if (click.cabview >= 0)
            expectCopied(click.copied, click.cabview);
    }
    PostMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(run.exitCode(), 0); // a further message would hold it open
}

TEST_F(Program, MissingStateFileShowsTheReadErrorThenTheWindowOnceWithoutBackgroundAndExitsWithZero)
{
    ProgramRun& run = start("");
    expectMessage("Meldung", kReadError, false);
    EXPECT_EQ(run.exitCode(), 0);
    EXPECT_FALSE(std::filesystem::exists("br927.zekconfig"));
    // Painted once, visible, with both buttons, and the released background not drawn.
    EXPECT_EQ(run.paintLog(), std::vector<std::string>{"0 1 2"});
}

// While its click waits for another process's, the window answers what other programs send it,
// but a click sent meanwhile is dropped; the first click then runs whole, and alone.
TEST_F(Program, AnswersOtherProgramsWhileItsClickWaitsForAnotherProcesssClick)
{
    tree_.createContent();
    ProgramRun& run = start("0\r\n1024");
    const HWND window = run.mainWindow(true);
    ASSERT_NE(window, HWND(NULL));
    {
        const ClickLock clickUnderWay;
        // Sent messages are taken in the order sent: the second click and the question come only
        // after the first click began.
        ASSERT_TRUE(SendNotifyMessageA(window, WM_COMMAND, IDC_BINPATCH, 0));
        ASSERT_TRUE(SendNotifyMessageA(window, WM_COMMAND, IDC_CABVIEW, 0));
        EXPECT_NE(SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, 10000, NULL), 0) << "no answer";
        EXPECT_EQ(stateFileBytes(), "0\r\n1024") << "the click did not wait";
    }
    expectMessage("Aktion ausgefuehrt", "BinPatch-Konfiguration erflgreich aktiviert");
    PostMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(run.exitCode(), 0); // a further message would hold it open
    EXPECT_EQ(stateFileBytes(), "1\r\n1024");
}

// The program with its background bitmap damaged, as a broken copy would hold it: the
// resource stays, with a header that no bitmap can have.
std::string copyWithoutBackground(const std::string& folder)
{
    const std::string copy = folder + "\\no-background.exe";
    const HANDLE update = CopyFileA(PROGRAM_EXE, copy.c_str(), FALSE) ? BeginUpdateResourceA(copy.c_str(), FALSE) : NULL;
    char damaged[sizeof(BITMAPINFOHEADER)] = {};
    return update != NULL && UpdateResourceA(update, RT_BITMAP, MAKEINTRESOURCEA(201), MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN), damaged, sizeof damaged) &&
                   EndUpdateResourceA(update, FALSE)
               ? copy
               : std::string();
}

TEST_F(Program, DamagedBackgroundIsReportedBeforeTheReadErrorAndTheAreaStaysInTheWindowColour)
{
    const std::string exe = copyWithoutBackground(tree_.root());
    ASSERT_FALSE(exe.empty());
    ProgramRun& run = start("", exe);
    expectMessage("Fehler", "Fehler beim Laden des Hintergrunds!", false);
    expectMessage("Meldung", kReadError, false);
    EXPECT_EQ(run.exitCode(), 0);
    EXPECT_EQ(run.paintLog(), std::vector<std::string>{"0 1 2"});
}

} // namespace
