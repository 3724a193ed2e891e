#include "programRun.h"
#include "startProcess_win32.h"

#include <algorithm>
#include <fstream>
#include <stdexcept>

namespace {

std::string windowText(HWND window)
{
    char text[512] = "";
    GetWindowTextA(window, text, sizeof text);
    return text;
}

Pixels readBitmap(HDC dc, HBITMAP bitmap, int width, int height)
{
    BITMAPINFO info = {};
    info.bmiHeader = {sizeof info.bmiHeader, width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0}; // top-down
    Pixels pixels{width, height, std::vector<uint32_t>(static_cast<size_t>(width) * static_cast<size_t>(height))};
    GetDIBits(dc, bitmap, 0, static_cast<UINT>(height), pixels.rgb.data(), &info, DIB_RGB_COLORS);
    for (uint32_t& pixel : pixels.rgb)
        pixel &= 0x00FFFFFF;
    return pixels;
}

// Draws into a fresh bitmap of the window's screen format and reads the pixels back.
Pixels drawn(HWND like, int width, int height, const std::function<void(HDC)>& draw)
{
    const HDC screen = GetDC(like);
    const HDC memory = CreateCompatibleDC(screen);
    const HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    const HGDIOBJ original = SelectObject(memory, bitmap);
    draw(memory);
    SelectObject(memory, original);
    Pixels pixels = readBitmap(memory, bitmap, width, height);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(like, screen);
    return pixels;
}

// Whether the box's icon is the system's exclamation icon, drawn on the box's own background.
bool showsWarningIcon(HWND box)
{
    HWND icon = NULL;
    while ((icon = FindWindowExA(box, icon, "Static", NULL)) != NULL && (GetWindowLongA(icon, GWL_STYLE) & SS_TYPEMASK) != SS_ICON) {
    }
    RECT area;
    if (icon == NULL || !GetClientRect(icon, &area))
        return false;
    // Read through the box: a child of another process gives no pixels of its own under Wine.
    POINT place{0, 0};
    MapWindowPoints(icon, box, &place, 1);
    const Pixels shown = capture(box, place.x, place.y, area.right, area.bottom);
    const Pixels expected = drawn(icon, area.right, area.bottom, [&](HDC dc) {
        const uint32_t corner = shown.at(0, 0);
        const HBRUSH background = CreateSolidBrush(RGB(corner >> 16, (corner >> 8) & 0xFF, corner & 0xFF));
        FillRect(dc, &area, background);
        DeleteObject(background);
        DrawIconEx(dc, 0, 0, LoadIconA(NULL, IDI_EXCLAMATION), area.right, area.bottom, 0, NULL, DI_NORMAL);
    });
    return shown.rgb == expected.rgb;
}

bool visibleChild(HWND parent, int id)
{
    const HWND child = GetDlgItem(parent, id);
    return child != NULL && IsWindowVisible(child);
}

} // namespace

bool waitUntil(const std::function<bool()>& condition, DWORD timeoutMs)
{
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        MSG msg;
        while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
        if (condition())
            return true;
        if (GetTickCount64() >= deadline)
            return false;
        Sleep(20);
    }
}

Pixels capture(HWND window, int x, int y, int width, int height)
{
    const HDC source = GetDC(window);
    Pixels pixels = drawn(window, width, height, [&](HDC dc) { BitBlt(dc, 0, 0, width, height, source, x, y, SRCCOPY); });
    ReleaseDC(window, source);
    return pixels;
}

Pixels bitmapFile(const std::string& path)
{
    const HBITMAP bitmap = static_cast<HBITMAP>(LoadImageA(NULL, path.c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE | LR_CREATEDIBSECTION));
    BITMAP size = {};
    GetObjectA(bitmap, sizeof size, &size);
    const HDC screen = GetDC(NULL);
    Pixels pixels = readBitmap(screen, bitmap, size.bmWidth, size.bmHeight);
    ReleaseDC(NULL, screen);
    DeleteObject(bitmap);
    return pixels;
}

ProgramRun::ProgramRun(const std::string& exe, const std::string& workDir)
{
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    std::string commandLine = "\"" + exe + "\"";
    // Suspended until the hook is in place, so that no paint escapes it.
    if (!startProcess(exe.c_str(), commandLine, FALSE, CREATE_SUSPENDED, workDir.c_str(), startup, process_))
        throw std::runtime_error("cannot start " + exe);
    char path[MAX_PATH] = "";
    GetTempPathA(sizeof path, path);
    probeLog_ = std::string(path) + "br927-probe-" + std::to_string(process_.dwProcessId) + ".txt";
    GetModuleFileNameA(NULL, path, sizeof path);
    const std::string probe = std::string(path).substr(0, std::string(path).find_last_of("\\/") + 1) + "windowProbe.dll";
    const HMODULE module = LoadLibraryA(probe.c_str());
    const auto notePaint = reinterpret_cast<HOOKPROC>(reinterpret_cast<void*>(GetProcAddress(module, "notePaint")));
    paintHook_ = SetWindowsHookExA(WH_CALLWNDPROCRET, notePaint, module, process_.dwThreadId);
    ResumeThread(process_.hThread);
    if (paintHook_ == NULL)
        throw std::runtime_error("cannot hook the program's paints with " + probe);
}

ProgramRun::~ProgramRun()
{
    if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) {
        TerminateProcess(process_.hProcess, 99);
        WaitForSingleObject(process_.hProcess, 5000);
    }
    UnhookWindowsHookEx(paintHook_);
    CloseHandle(process_.hThread);
    CloseHandle(process_.hProcess);
    DeleteFileA(probeLog_.c_str());
}

std::vector<HWND> ProgramRun::topLevelWindows(const char* className) const
{
    std::vector<HWND> found;
    for (HWND window = NULL; (window = FindWindowExA(NULL, window, className, NULL)) != NULL;) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == process_.dwProcessId)
            found.push_back(window);
    }
    return found;
}

HWND ProgramRun::mainWindow(bool visible)
{
    const bool found = waitUntil([&] {
        const std::vector<HWND> windows = topLevelWindows("Hauptfenster");
        main_ = windows.empty() ? NULL : windows.front();
        return main_ != NULL && (!visible || IsWindowVisible(main_));
    });
    // Sent messages are handled before the paint: one round trip lets the first paint end.
    DWORD_PTR ignored = 0;
    if (found && visible)
        SendMessageTimeoutA(main_, WM_NULL, 0, 0, SMTO_NORMAL, 30000, &ignored);
    return found ? main_ : NULL;
}

MessageBoxSeen ProgramRun::nextMessageBox(DWORD timeoutMs)
{
    MessageBoxSeen seen;
    waitUntil(
        [&] {
            for (HWND box : topLevelWindows("#32770")) {
                if (IsWindowVisible(box) && std::find(boxesSeen_.begin(), boxesSeen_.end(), box) == boxesSeen_.end()) {
                    boxesSeen_.push_back(box);
                    seen.window = box;
                }
            }
            return seen.window != NULL;
        },
        timeoutMs);
    if (seen.window == NULL)
        return seen;
    seen.title = windowText(seen.window);
    seen.text = windowText(GetDlgItem(seen.window, 0xFFFF));
    seen.owner = GetWindow(seen.window, GW_OWNER);
    seen.onlyOk = visibleChild(seen.window, IDOK);
    for (int other : {IDCANCEL, IDABORT, IDRETRY, IDIGNORE, IDYES, IDNO})
        seen.onlyOk = seen.onlyOk && !visibleChild(seen.window, other);
    seen.warningIcon = waitUntil([&] { return showsWarningIcon(seen.window); }, 5000); // once painted
    return seen;
}

bool ProgramRun::pressOk(const MessageBoxSeen& box)
{
    PostMessageA(GetDlgItem(box.window, IDOK), BM_CLICK, 0, 0);
    return waitUntil([&] { return !IsWindow(box.window); });
}

void ProgramRun::click(int id) const
{
    PostMessageA(GetDlgItem(main_, id), BM_CLICK, 0, 0);
}

std::string ProgramRun::caption(int id) const
{
    return windowText(GetDlgItem(main_, id));
}

long ProgramRun::exitCode()
{
    DWORD code = 0;
    const bool ended = waitUntil([&] { return WaitForSingleObject(process_.hProcess, 0) == WAIT_OBJECT_0; });
    return ended && GetExitCodeProcess(process_.hProcess, &code) ? static_cast<long>(code) : -1;
}

std::vector<std::string> ProgramRun::paintLog() const
{
    std::vector<std::string> lines;
    std::ifstream log(probeLog_);
    for (std::string line; std::getline(log, line);)
        lines.push_back(line);
    return lines;
}
