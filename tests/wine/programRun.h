#pragma once

// Drives the real Windows program from another process, as a user would: starts it in a
// working directory, finds its main window and its message boxes, clicks, reads pixels and
// waits for its exit. Every wait polls with a deadline, so a hung program fails the test
// instead of blocking it.

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

// The program under test and the release build, as Windows paths.
std::string programPath();
std::string releasePath();

struct MessageBoxSeen {
    HWND window = NULL;
    std::string title;
    std::string text;
    HWND owner = NULL;
    bool onlyOk = false; // an OK button and no other
};

// 32-bit pixels (0x00RRGGBB), row by row from the top.
struct Pixels {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> rgb;
    uint32_t at(int x, int y) const { return rgb[static_cast<size_t>(y * width + x)]; }
};

// A window that the program created, or a paint of a top-level window, noted inside the
// program as it happened.
struct WindowEvent {
    std::string event; // "create" or "paint"
    std::string className;
    int number;           // create: the control id; paint: pixels drawn left of the indicators
    bool topLevelVisible; // whether the top-level window it belongs to was visible then
};

class ProgramRun {
public:
    // Starts exe with workDir as its working directory.
    ProgramRun(const std::string& exe, const std::string& workDir);
    ~ProgramRun(); // ends the program if it still runs
    ProgramRun(const ProgramRun&) = delete;
    ProgramRun& operator=(const ProgramRun&) = delete;

    // The main window once it exists (visible or not); NULL after the deadline.
    HWND findMainWindow(DWORD timeoutMs = 30000);
    // The main window once it is visible and has been painted once.
    HWND waitForVisibleWindow(DWORD timeoutMs = 30000);
    // The next message box of the program not seen before; window NULL after the deadline.
    MessageBoxSeen waitForMessageBox(DWORD timeoutMs = 30000);
    // Any message box open now.
    bool messageBoxOpen();
    // Presses OK and waits until the box has gone.
    bool pressOk(const MessageBoxSeen& box, DWORD timeoutMs = 30000);

    HWND button(int id) const;
    // Clicks the button as the mouse would (BM_CLICK), without waiting for the handling.
    void click(int id);
    std::string caption(int id) const;
    // Waits until the button shows the caption; false after the deadline.
    bool waitForCaption(int id, const std::string& text, DWORD timeoutMs = 30000);

    // The client-area pixels of the main window in the rectangle.
    Pixels capture(int x, int y, int width, int height) const;

    // Waits for the exit; the exit code, or -1 after the deadline (STILL_ACTIVE never shows).
    long waitForExit(DWORD timeoutMs = 30000);
    bool running() const;

    // The windows the program created and the paints of its top-level windows, in order.
    std::vector<WindowEvent> windowEvents() const;
    // How many message boxes appeared so far.
    int messageBoxesSeen() const { return static_cast<int>(boxesSeen_.size()); }

    HWND mainWindow() const { return main_; }
    DWORD processId() const { return process_.dwProcessId; }

private:
    std::vector<HWND> topLevelWindows(const char* className) const;
    void pump() const;

    PROCESS_INFORMATION process_{};
    HWINEVENTHOOK hook_ = NULL;
    HHOOK paintHook_ = NULL;
    HWND main_ = NULL;
    std::vector<HWND> boxesSeen_;
    std::string probeLog_;
};

// A bitmap resource of an executable, at its own size.
Pixels bitmapResource(const std::string& exe, int id);

// Fraction-free comparison: the number of pixels that differ, ignoring the rectangles given
// as {x, y, width, height} in the coordinates of the two images.
struct Area {
    int x, y, width, height;
};
int differingPixels(const Pixels& a, const Pixels& b, const std::vector<Area>& ignored = {});

// Waits until the main window shows the expected picture at (x, y); the number of differing
// pixels of the last look (0 when it matched before the deadline).
int waitForPicture(const ProgramRun& run, int x, int y, const Pixels& expected, DWORD timeoutMs = 30000);
