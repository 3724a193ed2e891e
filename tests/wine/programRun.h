#pragma once

// Drives the real Windows program from another process, as a user would: starts it in a
// working directory, finds its windows, clicks, answers message boxes, reads pixels and waits
// for its exit. Every wait has a deadline, so a hung program fails instead of blocking.

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// 32-bit pixels (0x00RRGGBB), row by row from the top.
struct Pixels {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> rgb;
    uint32_t at(int x, int y) const { return rgb[static_cast<size_t>(y * width + x)]; }
};

struct MessageBoxSeen {
    HWND window = NULL;
    std::string title;
    std::string text;
    HWND owner = NULL;
    bool onlyOk = false;      // an OK button and no other
    bool warningIcon = false; // shows the system's exclamation icon
};

// Polls the condition until it holds (true) or the deadline passes (false).
bool waitUntil(const std::function<bool()>& condition, DWORD timeoutMs = 30000);

// What a window's client area shows now; the pixels of a bitmap file.
Pixels capture(HWND window, int x, int y, int width, int height);
Pixels bitmapFile(const std::string& path);

class ProgramRun {
public:
    // Starts exe with workDir as its working directory; windowProbe.dll beside this test
    // notes each paint of the program's main window in paintLog().
    ProgramRun(const std::string& exe, const std::string& workDir);
    ~ProgramRun(); // ends the program if it still runs
    ProgramRun(const ProgramRun&) = delete;
    ProgramRun& operator=(const ProgramRun&) = delete;

    // The main window once it exists, or once it is visible and painted; NULL after the deadline.
    HWND mainWindow(bool visible);
    // The next message box not seen before; its window is NULL after the deadline.
    MessageBoxSeen nextMessageBox(DWORD timeoutMs = 60000);
    bool pressOk(const MessageBoxSeen& box);
    void click(int id) const;
    std::string caption(int id) const;
    // The exit code, or -1 if the program still runs at the deadline.
    long exitCode();
    // One line per paint of the main window: "<coloured pixels left of the indicators> <visible>".
    std::vector<std::string> paintLog() const;

private:
    std::vector<HWND> topLevelWindows(const char* className) const;

    PROCESS_INFORMATION process_{};
    HHOOK paintHook_ = NULL;
    HWND main_ = NULL;
    std::vector<HWND> boxesSeen_;
    std::string probeLog_;
};
