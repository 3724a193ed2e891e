// End-to-end tests of the Windows program, run under Wine: the program runs as its own
// process on a prepared content tree, and these tests look at it from outside.

#include "programRun.h"
#include "copyTables.h"
#include "scratchTree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <map>

namespace fs = std::filesystem;

namespace {

std::string windowsPath(std::string path)
{
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

} // namespace

std::string programPath()
{
    return windowsPath(PROGRAM_EXE);
}

std::string releasePath()
{
    return windowsPath(RELEASE_EXE);
}

namespace {

const int kBinPatch = 301;
const int kCabview = 302;

const Area kBackground{0, 0, 490, 171};
const Area kBinIndicator{270, 67, 85, 25};
const Area kCabIndicator{270, 112, 85, 25};
const Area kBinButton{375, 67, 100, 25};
const Area kCabButton{375, 112, 100, 25};

const char kReadError[] = "Fehler beim Lesen der Konfigurationsdatei BR927.zekconfig.";
const char kBatchFailed[] = "Fehler beim Verarbeiten von mindestens einer Datei!";
const char kNoBackground[] = "Fehler beim Laden des Hintergrunds!";

std::string lowerCase(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

// The main window's client area as the program is meant to paint it: the background image
// with both indicators drawn on it.
Pixels expectedPicture(const std::string& exe, int binIndicator, int cabIndicator)
{
    Pixels picture = bitmapResource(exe, 201);
    const auto paste = [&picture](const Pixels& image, const Area& at) {
        for (int y = 0; y < image.height; ++y)
            for (int x = 0; x < image.width; ++x)
                picture.rgb[static_cast<size_t>((at.y + y) * picture.width + at.x + x)] = image.at(x, y);
    };
    paste(bitmapResource(exe, binIndicator), kBinIndicator);
    paste(bitmapResource(exe, cabIndicator), kCabIndicator);
    return picture;
}

class Program : public ::testing::Test {
protected:
    // A content tree with every source and live file, and the state file given.
    void prepare(const std::string& stateFile)
    {
        tree_.createContent();
        if (!stateFile.empty())
            writeStateFile(stateFile);
    }

    ProgramRun& start(const std::string& exe = programPath())
    {
        run_.reset(new ProgramRun(exe, tree_.workDir()));
        return *run_;
    }

    ProgramRun& startAndShow()
    {
        ProgramRun& run = start();
        EXPECT_NE(run.waitForVisibleWindow(), HWND(NULL)) << "no main window";
        return run;
    }

    bool stateFileExists() const { return fs::exists(fs::path(tree_.workDir()) / "br927.zekconfig"); }

    // Each step's target now holds what the last step writing it copied (letter case of
    // paths does not count).
    void expectCopied(Batch batch, int32_t cabview)
    {
        std::map<std::string, std::string> lastSource;
        for (const CopyStep& step : stepsToRun(batch, cabview))
            lastSource[lowerCase(step.target)] = step.source;
        ASSERT_FALSE(lastSource.empty());
        for (const auto& [target, source] : lastSource)
            EXPECT_EQ(tree_.read(target), sourceContent(source)) << target;
    }

    // Clicks the button, expects one message box with the text and title owned by the
    // disabled main window, and presses OK.
    void clickAndConfirm(int id, const std::string& text, const std::string& title)
    {
        run_->click(id);
        const MessageBoxSeen box = run_->waitForMessageBox(60000); // a batch runs first
        ASSERT_NE(box.window, HWND(NULL)) << "no message after clicking " << id;
        EXPECT_EQ(box.title, title);
        EXPECT_EQ(box.text, text);
        EXPECT_EQ(box.owner, run_->mainWindow());
        EXPECT_TRUE(box.onlyOk);
        EXPECT_FALSE(IsWindowEnabled(run_->mainWindow())) << "the main window takes clicks while a message is open";
        ASSERT_TRUE(run_->pressOk(box));
    }

    void expectIndicators(int binBitmap, int cabBitmap)
    {
        EXPECT_EQ(waitForPicture(*run_, kBinIndicator.x, kBinIndicator.y, bitmapResource(programPath(), binBitmap)), 0)
            << "BinPatch indicator is not bitmap " << binBitmap;
        EXPECT_EQ(waitForPicture(*run_, kCabIndicator.x, kCabIndicator.y, bitmapResource(programPath(), cabBitmap)), 0)
            << "cab-view indicator is not bitmap " << cabBitmap;
    }

    void closeAndExpectExitZero()
    {
        PostMessageA(run_->mainWindow(), WM_CLOSE, 0, 0);
        EXPECT_EQ(run_->waitForExit(), 0);
    }

    ScratchTree tree_;
    std::unique_ptr<ProgramRun> run_;
};

// --- Start with 0 and 1024 ----------------------------------------------------------------

TEST_F(Program, OpensTheFixedMainWindowWithoutAMessage)
{
    prepare("0\r\n1024");
    ProgramRun& run = startAndShow();
    const HWND window = run.mainWindow();
    ASSERT_NE(window, HWND(NULL));
    EXPECT_FALSE(run.messageBoxOpen());

    char title[64] = "";
    GetWindowTextA(window, title, sizeof title);
    EXPECT_STREQ(title, "ZEK VE927 Varerevuridid");
    RECT outer;
    GetWindowRect(window, &outer);
    EXPECT_EQ(outer.right - outer.left, 500);
    EXPECT_EQ(outer.bottom - outer.top, 200);
    const LONG style = GetWindowLongA(window, GWL_STYLE);
    EXPECT_EQ(style & 0x10C80000, 0x10C80000);
    EXPECT_EQ(style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX), 0) << "the frame must be fixed";
    EXPECT_EQ(GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_CLIENTEDGE, WS_EX_CLIENTEDGE);
    EXPECT_EQ(GetParent(window), HWND(NULL));

    closeAndExpectExitZero();
}

TEST_F(Program, CreatesBothPushButtonsInTheirRows)
{
    prepare("0\r\n1024");
    ProgramRun& run = startAndShow();
    const struct {
        int id;
        Area place;
        const char* caption;
    } buttons[] = {{kBinPatch, kBinButton, "Aktivieren"}, {kCabview, kCabButton, "1280 x 1024"}};
    for (const auto& expected : buttons) {
        SCOPED_TRACE(expected.id);
        const HWND button = run.button(expected.id);
        ASSERT_NE(button, HWND(NULL));
        char name[32] = "";
        GetClassNameA(button, name, sizeof name);
        EXPECT_STREQ(name, "Button");
        EXPECT_EQ(GetDlgCtrlID(button), expected.id);
        EXPECT_EQ(GetWindowLongA(button, GWL_STYLE) & 0xFFFF000F, WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON);
        RECT place;
        GetWindowRect(button, &place);
        MapWindowPoints(NULL, run.mainWindow(), reinterpret_cast<POINT*>(&place), 2);
        EXPECT_EQ(place.left, expected.place.x);
        EXPECT_EQ(place.top, expected.place.y);
        EXPECT_EQ(place.right - place.left, expected.place.width);
        EXPECT_EQ(place.bottom - place.top, expected.place.height);
        EXPECT_EQ(run.caption(expected.id), expected.caption);
    }
    closeAndExpectExitZero();
}

TEST_F(Program, PaintsTheBackgroundAndTheIndicatorsOfTheSettings)
{
    prepare("0\r\n1024");
    ProgramRun& run = startAndShow();
    RECT client;
    GetClientRect(run.mainWindow(), &client);
    // The background fills the client area of a 500 x 200 window with this frame.
    EXPECT_GE(client.right, kBackground.width - 2);
    EXPECT_GE(client.bottom, kBackground.height - 2);

    expectIndicators(203, 204);
    const Pixels expected = expectedPicture(programPath(), 203, 204);
    const Pixels shown = run.capture(0, 0, std::min<int>(client.right, kBackground.width),
                                     std::min<int>(client.bottom, kBackground.height));
    Pixels part = expected;
    part.width = shown.width;
    part.height = shown.height;
    part.rgb.clear();
    for (int y = 0; y < shown.height; ++y)
        for (int x = 0; x < shown.width; ++x)
            part.rgb.push_back(expected.at(x, y));
    EXPECT_EQ(differingPixels(shown, part, {kBinButton, kCabButton}), 0);

    // Covering and uncovering the window repaints the same picture.
    InvalidateRect(run.mainWindow(), NULL, TRUE);
    EXPECT_EQ(waitForPicture(run, kBinIndicator.x, kBinIndicator.y, bitmapResource(programPath(), 203)), 0);
    closeAndExpectExitZero();
}

TEST_F(Program, IgnoresCommandsOfOtherControlsAndEndsWithZeroWhenClosed)
{
    prepare("0\r\n1024");
    ProgramRun& run = startAndShow();
    for (WPARAM id : {WPARAM(0), WPARAM(1), WPARAM(300), WPARAM(303), WPARAM(0x10000 | 999)}) {
        DWORD_PTR result = 1;
        // Sent, so that it returns only when handled: a message box would make it time out.
        ASSERT_NE(SendMessageTimeoutA(run.mainWindow(), WM_COMMAND, id, 0, SMTO_NORMAL, 5000, &result), 0)
            << "command " << id << " did not return";
        EXPECT_EQ(result, 0u);
    }
    EXPECT_FALSE(run.messageBoxOpen());
    EXPECT_EQ(stateFileBytes(), "0\r\n1024");
    EXPECT_EQ(run.caption(kBinPatch), "Aktivieren");
    EXPECT_EQ(run.caption(kCabview), "1280 x 1024");
    expectIndicators(203, 204);

    PostMessageA(run.mainWindow(), WM_CLOSE, 0, 0);
    EXPECT_EQ(run.waitForExit(), 0);
    EXPECT_EQ(run.messageBoxesSeen(), 0);
    EXPECT_EQ(stateFileBytes(), "0\r\n1024");
}

// --- Clicks -----------------------------------------------------------------------------------

TEST_F(Program, BinPatchButtonActivatesThenDeactivates)
{
    prepare("0\r\n1024");
    ProgramRun& run = startAndShow();

    clickAndConfirm(kBinPatch, "BinPatch-Konfiguration erflgreich aktiviert", "Aktion ausgefuehrt");
    EXPECT_TRUE(run.waitForCaption(kBinPatch, "Deaktivieren"));
    expectIndicators(202, 204);
    EXPECT_EQ(stateFileBytes(), "1\r\n1024");
    expectCopied(Batch::EngfilesBin, 1024);

    clickAndConfirm(kBinPatch, "BinPatch-Konfiguration erflgreich deaktiviert", "Aktion ausgefuehrt");
    EXPECT_TRUE(run.waitForCaption(kBinPatch, "Aktivieren"));
    expectIndicators(203, 204);
    EXPECT_EQ(stateFileBytes(), "0\r\n1024");
    expectCopied(Batch::EngfilesNoBin, 1024);
    EXPECT_EQ(run.caption(kCabview), "1280 x 1024");
    closeAndExpectExitZero();
}

TEST_F(Program, CabviewButtonSwitchesTo1280AndBack)
{
    prepare("1\r\n1024");
    ProgramRun& run = startAndShow();
    expectIndicators(202, 204);

    clickAndConfirm(kCabview, "Cabview-Aufloesung erfolgreich auf 1280x1024 umgestellt", "Aktion ausgefuehrt");
    EXPECT_TRUE(run.waitForCaption(kCabview, "1024 x 768"));
    expectIndicators(202, 205);
    EXPECT_EQ(stateFileBytes(), "1\r\n1280");
    expectCopied(Batch::Cabfiles1280, 0);

    clickAndConfirm(kCabview, "Cabview-Aufloesung erfolgreich auf 1024x768 umgestellt", "Aktion ausgefuehrt");
    EXPECT_TRUE(run.waitForCaption(kCabview, "1280 x 1024"));
    expectIndicators(202, 204);
    EXPECT_EQ(stateFileBytes(), "1\r\n1024");
    expectCopied(Batch::Cabfiles1024, 0);
    EXPECT_EQ(run.caption(kBinPatch), "Deaktivieren");
    closeAndExpectExitZero();
}

TEST_F(Program, AFailedCopyIsReportedAndTheSettingFlipsAllTheSame)
{
    prepare("0\r\n1024");
    const std::vector<CopyStep> steps = stepsToRun(Batch::Cabfiles1280, 0);
    tree_.remove(steps.at(steps.size() / 2).source);
    ProgramRun& run = startAndShow();

    clickAndConfirm(kCabview, kBatchFailed, "Fehler");
    EXPECT_TRUE(run.waitForCaption(kCabview, "1024 x 768"));
    expectIndicators(203, 205);
    EXPECT_EQ(stateFileBytes(), "0\r\n1280");
    EXPECT_EQ(run.messageBoxesSeen(), 1);
    closeAndExpectExitZero();
}

// --- Unexpected values and start-up failures ---------------------------------------------

TEST_F(Program, UnexpectedValuesShowAsOffAnd1280AndRefuseEveryClick)
{
    prepare("7\r\n800");
    ProgramRun& run = startAndShow();
    EXPECT_FALSE(run.messageBoxOpen());
    EXPECT_EQ(run.caption(kBinPatch), "Aktivieren");
    EXPECT_EQ(run.caption(kCabview), "1024 x 768");
    expectIndicators(203, 205);

    const fs::path live = tree_.find(stepsToRun(Batch::EngfilesBin, 1024).front().target);
    const std::string liveBefore = readWholeFile(live.string());
    for (int id : {kBinPatch, kCabview}) {
        SCOPED_TRACE(id);
        clickAndConfirm(id, "Fehler", "Meldung");
        EXPECT_EQ(stateFileBytes(), "7\r\n800");
    }
    EXPECT_EQ(run.caption(kBinPatch), "Aktivieren");
    EXPECT_EQ(run.caption(kCabview), "1024 x 768");
    expectIndicators(203, 205);
    EXPECT_EQ(readWholeFile(live.string()), liveBefore);
    closeAndExpectExitZero();
}

TEST_F(Program, AMissingStateFileShowsOneMessageBeforeTheWindowAndEndsWithZero)
{
    prepare("");
    ProgramRun& run = start();
    const MessageBoxSeen box = run.waitForMessageBox();
    ASSERT_NE(box.window, HWND(NULL));
    EXPECT_EQ(box.title, "Meldung");
    EXPECT_EQ(box.text, kReadError);
    EXPECT_TRUE(box.onlyOk);
    ASSERT_NE(run.findMainWindow(), HWND(NULL));
    EXPECT_EQ(box.owner, run.mainWindow());
    EXPECT_FALSE(IsWindowVisible(run.mainWindow())) << "the window is visible before the message";

    ASSERT_TRUE(run.pressOk(box));
    EXPECT_EQ(run.waitForExit(), 0);
    EXPECT_EQ(run.messageBoxesSeen(), 1);
    EXPECT_FALSE(stateFileExists());

    // Inside the program: after the message, both buttons were created, the window's
    // creation completed, and the window was painted once, visible and without the released
    // background image (nothing drawn left of the indicators).
    std::vector<std::string> events;
    for (const WindowEvent& event : run.windowEvents()) {
        if (event.className == "Button" && (event.number == kBinPatch || event.number == kCabview))
            events.push_back("create " + std::to_string(event.number));
        if (event.className == "Hauptfenster")
            events.push_back(event.event + " window " + std::to_string(event.number) +
                             (event.topLevelVisible ? " visible" : " hidden"));
        if (event.className == "#32770" && event.event == "create")
            events.push_back("message");
    }
    EXPECT_EQ(events, (std::vector<std::string>{"message", "create 301", "create 302", "create window 0 hidden",
                                                "paint window 0 visible"}));
}

// The program with its background bitmap made unreadable, as a damaged copy would hold it:
// the resource stays, with a header that no bitmap can have.
std::string copyWithoutBackground(const std::string& folder)
{
    const std::string copy = folder + "\\no-background.exe";
    if (!CopyFileA(programPath().c_str(), copy.c_str(), FALSE))
        return {};
    const HANDLE update = BeginUpdateResourceA(copy.c_str(), FALSE);
    if (update == NULL)
        return {};
    char damaged[sizeof(BITMAPINFOHEADER)] = {};
    const BOOL replaced = UpdateResourceA(update, MAKEINTRESOURCEA(2) /* RT_BITMAP */, MAKEINTRESOURCEA(201),
                                          MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), damaged, sizeof damaged);
    return EndUpdateResourceA(update, FALSE) && replaced ? copy : std::string();
}

TEST_F(Program, AMissingBackgroundIsReportedAndTheAreaStaysInTheWindowColour)
{
    prepare("0\r\n1024");
    const std::string exe = copyWithoutBackground(tree_.root());
    ASSERT_FALSE(exe.empty());
    ASSERT_TRUE(bitmapResource(exe, 201).rgb.empty()) << "the copy still holds its background";
    ProgramRun& run = start(exe);

    const MessageBoxSeen box = run.waitForMessageBox();
    ASSERT_NE(box.window, HWND(NULL));
    EXPECT_EQ(box.title, "Fehler");
    EXPECT_EQ(box.text, kNoBackground);
    ASSERT_NE(run.findMainWindow(), HWND(NULL));
    EXPECT_FALSE(IsWindowVisible(run.mainWindow()));
    ASSERT_TRUE(run.pressOk(box));

    ASSERT_NE(run.waitForVisibleWindow(), HWND(NULL));
    expectIndicators(203, 204);
    Pixels windowColour;
    windowColour.width = 40;
    windowColour.height = 40;
    const COLORREF colour = GetSysColor(COLOR_WINDOW);
    windowColour.rgb.assign(1600, static_cast<uint32_t>(GetRValue(colour) << 16 | GetGValue(colour) << 8 | GetBValue(colour)));
    EXPECT_EQ(waitForPicture(run, 10, 10, windowColour), 0);
    EXPECT_EQ(run.messageBoxesSeen(), 1);
    closeAndExpectExitZero();
}

TEST_F(Program, WithBothMissingTheBackgroundMessageComesFirst)
{
    prepare("");
    const std::string exe = copyWithoutBackground(tree_.root());
    ASSERT_FALSE(exe.empty());
    ProgramRun& run = start(exe);

    const MessageBoxSeen first = run.waitForMessageBox();
    ASSERT_NE(first.window, HWND(NULL));
    EXPECT_EQ(first.text, kNoBackground);
    ASSERT_TRUE(run.pressOk(first));
    const MessageBoxSeen second = run.waitForMessageBox();
    ASSERT_NE(second.window, HWND(NULL));
    EXPECT_EQ(second.text, kReadError);
    EXPECT_EQ(second.title, "Meldung");
    ASSERT_TRUE(run.pressOk(second));
    EXPECT_EQ(run.waitForExit(), 0);
    EXPECT_EQ(run.messageBoxesSeen(), 2);
}

} // namespace
