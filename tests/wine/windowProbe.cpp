// A hook that runs inside the program under test (ProgramRun installs it), so that its paints
// can be checked even when the program ends right after them. After each paint of the main
// window it notes, in a file in the temp folder named after the program's process id:
//   <pixels left of the indicators (x < 260, y < 171) not in the window colour> <visible> <buttons>
// The program itself never learns of it.

#include "programRun.h"
#include "resource.h"

#include <algorithm>
#include <cstdio>

namespace {

long colouredPixels(HWND window)
{
    RECT client;
    GetClientRect(window, &client);
    const Pixels left = capture(window, 0, 0, std::min<int>(260, client.right), std::min<int>(171, client.bottom));
    const COLORREF colour = GetSysColor(COLOR_WINDOW);
    const uint32_t windowColour = static_cast<uint32_t>(GetRValue(colour) << 16 | GetGValue(colour) << 8 | GetBValue(colour));
    return static_cast<long>(left.rgb.size()) - static_cast<long>(std::count(left.rgb.begin(), left.rgb.end(), windowColour));
}

} // namespace

extern "C" __declspec(dllexport) LRESULT CALLBACK notePaint(int code, WPARAM wParam, LPARAM lParam)
{
    const CWPRETSTRUCT& message = *reinterpret_cast<const CWPRETSTRUCT*>(lParam);
    char className[64] = "";
    GetClassNameA(message.hwnd, className, sizeof className);
    char log[MAX_PATH + 64] = "";
    GetTempPathA(MAX_PATH, log);
    if (code == HC_ACTION && message.message == WM_PAINT && std::string(className) == "Hauptfenster") {
        std::snprintf(log + strlen(log), 64, "br927-probe-%lu.txt", GetCurrentProcessId());
        if (FILE* file = std::fopen(log, "a")) {
            std::fprintf(file, "%ld %d %d\n", colouredPixels(message.hwnd), IsWindowVisible(message.hwnd) ? 1 : 0,
                         (GetDlgItem(message.hwnd, IDC_BINPATCH) ? 1 : 0) + (GetDlgItem(message.hwnd, IDC_CABVIEW) ? 1 : 0));
            std::fclose(file);
        }
    }
    return CallNextHookEx(NULL, code, wParam, lParam);
}
