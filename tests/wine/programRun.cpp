#include "programRun.h"

#include <algorithm>
#include <fstream>
#include <stdexcept>

namespace {

const char kMainClass[] = "Hauptfenster";
const char kDialogClass[] = "#32770";
const DWORD kPollMs = 20;

// The hooks that run inside the program, from windowProbe.dll beside this test.
HMODULE loadProbe()
{
    char path[MAX_PATH] = "";
    GetModuleFileNameA(NULL, path, sizeof path);
    std::string probe = path;
    probe = probe.substr(0, probe.find_last_of("\\/") + 1) + "windowProbe.dll";
    const HMODULE module = LoadLibraryA(probe.c_str());
    if (module == NULL)
        throw std::runtime_error("cannot load " + probe);
    return module;
}

template <typename Procedure>
Procedure probeProcedure(HMODULE probe, const char* name)
{
    return reinterpret_cast<Procedure>(reinterpret_cast<void*>(GetProcAddress(probe, name)));
}

std::string windowText(HWND window)
{
    char text[512] = "";
    GetWindowTextA(window, text, sizeof text);
    return text;
}

std::string className(HWND window)
{
    char name[256] = "";
    GetClassNameA(window, name, sizeof name);
    return name;
}

bool visibleChild(HWND parent, int id)
{
    const HWND child = GetDlgItem(parent, id);
    return child != NULL && IsWindowVisible(child);
}

// Polls condition until it holds or the deadline passes; pumps messages meanwhile so that
// the window events of the hook arrive.
template <typename Condition>
bool pollUntil(DWORD timeoutMs, Condition condition, void (*pump)())
{
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        pump();
        if (condition())
            return true;
        if (GetTickCount64() >= deadline)
            return false;
        Sleep(kPollMs);
    }
}

void pumpMessages()
{
    MSG msg;
    while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

Pixels readBitmap(HDC source, HBITMAP bitmap, int width, int height)
{
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height; // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    Pixels pixels;
    pixels.width = width;
    pixels.height = height;
    pixels.rgb.resize(static_cast<size_t>(width) * static_cast<size_t>(height));
    GetDIBits(source, bitmap, 0, static_cast<UINT>(height), pixels.rgb.data(), &info, DIB_RGB_COLORS);
    for (uint32_t& pixel : pixels.rgb)
        pixel &= 0x00FFFFFF;
    return pixels;
}

} // namespace

ProgramRun::ProgramRun(const std::string& exe, const std::string& workDir)
{
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    std::string commandLine = "\"" + exe + "\"";
    // Suspended until the hook is in place, so that no window escapes it.
    if (!CreateProcessA(exe.c_str(), &commandLine[0], NULL, NULL, FALSE, CREATE_SUSPENDED, NULL,
                        workDir.c_str(), &startup, &process_))
        throw std::runtime_error("cannot start " + exe + ": error " + std::to_string(GetLastError()));
    char folder[MAX_PATH] = "";
    GetTempPathA(sizeof folder, folder);
    probeLog_ = std::string(folder) + "br927-probe-" + std::to_string(process_.dwProcessId) + ".txt";
    DeleteFileA(probeLog_.c_str());
    const HMODULE probe = loadProbe();
    hook_ = SetWinEventHook(EVENT_OBJECT_CREATE, EVENT_OBJECT_CREATE, probe,
                            probeProcedure<WINEVENTPROC>(probe, "noteWindowEvent"), process_.dwProcessId, 0,
                            WINEVENT_INCONTEXT);
    paintHook_ = SetWindowsHookExA(WH_CALLWNDPROCRET, probeProcedure<HOOKPROC>(probe, "notePaint"), probe,
                                   process_.dwThreadId);
    ResumeThread(process_.hThread);
    if (hook_ == NULL || paintHook_ == NULL)
        throw std::runtime_error("cannot hook the program's windows");
}

ProgramRun::~ProgramRun()
{
    if (running()) {
        TerminateProcess(process_.hProcess, 99);
        WaitForSingleObject(process_.hProcess, 5000);
    }
    if (hook_ != NULL)
        UnhookWinEvent(hook_);
    if (paintHook_ != NULL)
        UnhookWindowsHookEx(paintHook_);
    CloseHandle(process_.hThread);
    CloseHandle(process_.hProcess);
    DeleteFileA(probeLog_.c_str());
}

std::vector<WindowEvent> ProgramRun::windowEvents() const
{
    std::vector<WindowEvent> events;
    std::ifstream log(probeLog_);
    WindowEvent event;
    int visible = 0;
    while (log >> event.event >> event.className >> event.number >> visible) {
        event.topLevelVisible = visible != 0;
        events.push_back(event);
    }
    return events;
}

void ProgramRun::pump() const
{
    pumpMessages();
}

std::vector<HWND> ProgramRun::topLevelWindows(const char* wanted) const
{
    struct Search {
        DWORD processId;
        const char* className;
        std::vector<HWND> found;
    } search{process_.dwProcessId, wanted, {}};
    EnumWindows(
        [](HWND window, LPARAM parameter) -> BOOL {
            Search& s = *reinterpret_cast<Search*>(parameter);
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            if (owner == s.processId && className(window) == s.className)
                s.found.push_back(window);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND ProgramRun::findMainWindow(DWORD timeoutMs)
{
    pollUntil(
        timeoutMs,
        [this] {
            const std::vector<HWND> windows = topLevelWindows(kMainClass);
            main_ = windows.empty() ? NULL : windows.front();
            return main_ != NULL;
        },
        pumpMessages);
    return main_;
}

HWND ProgramRun::waitForVisibleWindow(DWORD timeoutMs)
{
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    if (findMainWindow(timeoutMs) == NULL)
        return NULL;
    const bool shown = pollUntil(
        static_cast<DWORD>(std::max<LONGLONG>(0, static_cast<LONGLONG>(deadline - GetTickCount64()))),
        [this] { return IsWindowVisible(main_) != FALSE; }, pumpMessages);
    if (!shown)
        return NULL;
    // Sent messages are handled before the paint; one round trip after the window became
    // visible lets the first paint (UpdateWindow) complete.
    DWORD_PTR ignored = 0;
    SendMessageTimeoutA(main_, WM_NULL, 0, 0, SMTO_NORMAL, timeoutMs, &ignored);
    return main_;
}

MessageBoxSeen ProgramRun::waitForMessageBox(DWORD timeoutMs)
{
    MessageBoxSeen seen;
    pollUntil(
        timeoutMs,
        [this, &seen] {
            for (HWND box : topLevelWindows(kDialogClass)) {
                if (!IsWindowVisible(box) || std::find(boxesSeen_.begin(), boxesSeen_.end(), box) != boxesSeen_.end())
                    continue;
                boxesSeen_.push_back(box);
                seen.window = box;
                return true;
            }
            return false;
        },
        pumpMessages);
    if (seen.window == NULL)
        return seen;
    seen.title = windowText(seen.window);
    seen.text = windowText(GetDlgItem(seen.window, 0xFFFF));
    seen.owner = GetWindow(seen.window, GW_OWNER);
    seen.onlyOk = visibleChild(seen.window, IDOK) && !visibleChild(seen.window, IDCANCEL) &&
                  !visibleChild(seen.window, IDYES) && !visibleChild(seen.window, IDNO) &&
                  !visibleChild(seen.window, IDABORT) && !visibleChild(seen.window, IDRETRY) &&
                  !visibleChild(seen.window, IDIGNORE);
    return seen;
}

bool ProgramRun::messageBoxOpen()
{
    for (HWND box : topLevelWindows(kDialogClass)) {
        if (IsWindowVisible(box))
            return true;
    }
    return false;
}

bool ProgramRun::pressOk(const MessageBoxSeen& box, DWORD timeoutMs)
{
    PostMessageA(GetDlgItem(box.window, IDOK), BM_CLICK, 0, 0);
    return pollUntil(timeoutMs, [&box] { return IsWindow(box.window) == FALSE; }, pumpMessages);
}

HWND ProgramRun::button(int id) const
{
    return GetDlgItem(main_, id);
}

void ProgramRun::click(int id)
{
    PostMessageA(button(id), BM_CLICK, 0, 0);
}

std::string ProgramRun::caption(int id) const
{
    return windowText(button(id));
}

bool ProgramRun::waitForCaption(int id, const std::string& text, DWORD timeoutMs)
{
    return pollUntil(timeoutMs, [&] { return caption(id) == text; }, pumpMessages);
}

Pixels ProgramRun::capture(int x, int y, int width, int height) const
{
    const HDC window = GetDC(main_);
    const HDC memory = CreateCompatibleDC(window);
    const HBITMAP bitmap = CreateCompatibleBitmap(window, width, height);
    const HGDIOBJ original = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, window, x, y, SRCCOPY);
    SelectObject(memory, original);
    Pixels pixels = readBitmap(memory, bitmap, width, height);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(main_, window);
    return pixels;
}

long ProgramRun::waitForExit(DWORD timeoutMs)
{
    const bool ended = pollUntil(
        timeoutMs, [this] { return WaitForSingleObject(process_.hProcess, 0) == WAIT_OBJECT_0; }, pumpMessages);
    if (!ended)
        return -1;
    DWORD code = 0;
    GetExitCodeProcess(process_.hProcess, &code);
    return static_cast<long>(code);
}

bool ProgramRun::running() const
{
    return WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT;
}

Pixels bitmapResource(const std::string& exe, int id)
{
    const HMODULE module = LoadLibraryExA(exe.c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);
    if (module == NULL)
        throw std::runtime_error("cannot open " + exe);
    const HBITMAP bitmap = static_cast<HBITMAP>(
        LoadImageA(module, MAKEINTRESOURCEA(id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    Pixels pixels;
    if (bitmap != NULL) {
        BITMAP size = {};
        GetObjectA(bitmap, sizeof size, &size);
        const HDC screen = GetDC(NULL);
        pixels = readBitmap(screen, bitmap, size.bmWidth, size.bmHeight);
        ReleaseDC(NULL, screen);
        DeleteObject(bitmap);
    }
    FreeLibrary(module);
    return pixels;
}

int differingPixels(const Pixels& a, const Pixels& b, const std::vector<Area>& ignored)
{
    if (a.width != b.width || a.height != b.height)
        return -1;
    int count = 0;
    for (int y = 0; y < a.height; ++y) {
        for (int x = 0; x < a.width; ++x) {
            const bool skipped = std::any_of(ignored.begin(), ignored.end(), [x, y](const Area& area) {
                return x >= area.x && x < area.x + area.width && y >= area.y && y < area.y + area.height;
            });
            if (!skipped && a.at(x, y) != b.at(x, y))
                ++count;
        }
    }
    return count;
}

int waitForPicture(const ProgramRun& run, int x, int y, const Pixels& expected, DWORD timeoutMs)
{
    int differing = -1;
    pollUntil(
        timeoutMs,
        [&] {
            differing = differingPixels(run.capture(x, y, expected.width, expected.height), expected);
            return differing == 0;
        },
        pumpMessages);
    return differing;
}
