// Hooks that run inside the program under test (the test driver installs them in context),
// so that what happens inside can be checked even when the program ends right after it. They
// note, in a file in the temp folder that names the program's process id:
//   create <class> <control id> <top level visible>  for each window created, while it exists;
//   paint <class> <coloured pixels> <visible>         after each paint of a top-level window,
//     counting the pixels left of the indicators (x < 260, y < 171) that differ from the
//     window colour, that is, what the paint drew there.
// The program itself never learns of them.

#include <windows.h>

#include <cstdio>
#include <vector>

namespace {

void note(const char* what, HWND window, int number)
{
    char folder[MAX_PATH] = "";
    GetTempPathA(sizeof folder, folder);
    char path[MAX_PATH + 64];
    std::snprintf(path, sizeof path, "%sbr927-probe-%lu.txt", folder, GetCurrentProcessId());
    char className[64] = "";
    GetClassNameA(window, className, sizeof className);
    if (FILE* log = std::fopen(path, "a")) {
        std::fprintf(log, "%s %s %d %d\n", what, className, number,
                     IsWindowVisible(GetAncestor(window, GA_ROOT)) ? 1 : 0);
        std::fclose(log);
    }
}

int colouredPixels(HWND window)
{
    const int width = 260;
    const int height = 171;
    const HDC screen = GetDC(window);
    const HDC memory = CreateCompatibleDC(screen);
    const HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    const HGDIOBJ original = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, 0, 0, SRCCOPY);
    SelectObject(memory, original);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    std::vector<DWORD> pixels(static_cast<size_t>(width * height));
    GetDIBits(memory, bitmap, 0, height, pixels.data(), &info, DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(window, screen);

    RECT client;
    GetClientRect(window, &client);
    const COLORREF colour = GetSysColor(COLOR_WINDOW);
    const DWORD windowColour = static_cast<DWORD>(GetRValue(colour) << 16 | GetGValue(colour) << 8 | GetBValue(colour));
    int coloured = 0;
    for (int y = 0; y < height && y < client.bottom; ++y)
        for (int x = 0; x < width && x < client.right; ++x)
            if ((pixels[static_cast<size_t>(y * width + x)] & 0xFFFFFF) != windowColour)
                ++coloured;
    return coloured;
}

} // namespace

extern "C" __declspec(dllexport) void CALLBACK noteWindowEvent(HWINEVENTHOOK, DWORD event, HWND window, LONG object,
                                                                LONG child, DWORD, DWORD)
{
    if (window != NULL && object == OBJID_WINDOW && child == CHILDID_SELF && event == EVENT_OBJECT_CREATE)
        note("create", window, GetDlgCtrlID(window));
}

extern "C" __declspec(dllexport) LRESULT CALLBACK notePaint(int code, WPARAM wParam, LPARAM lParam)
{
    const CWPRETSTRUCT* message = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
    if (code == HC_ACTION && message->message == WM_PAINT && GetParent(message->hwnd) == NULL)
        note("paint", message->hwnd, colouredPixels(message->hwnd));
    return CallNextHookEx(NULL, code, wParam, lParam);
}
