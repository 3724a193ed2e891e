// A window event hook that runs inside the program under test (the test driver installs it
// with SetWinEventHook in context). It notes each window the program creates or shows, with
// its class and control id, while the window still exists, in a file in the temp folder that
// names the program's process id. The program itself never learns of it.

#include <windows.h>

#include <cstdio>

extern "C" __declspec(dllexport) void CALLBACK noteWindowEvent(HWINEVENTHOOK, DWORD event, HWND window, LONG object,
                                                                LONG child, DWORD, DWORD)
{
    if (window == NULL || object != OBJID_WINDOW || child != CHILDID_SELF || event == EVENT_OBJECT_DESTROY)
        return;
    char folder[MAX_PATH] = "";
    GetTempPathA(sizeof folder, folder);
    char path[MAX_PATH + 64];
    std::snprintf(path, sizeof path, "%sbr927-probe-%lu.txt", folder, GetCurrentProcessId());
    char className[64] = "";
    GetClassNameA(window, className, sizeof className);
    if (FILE* log = std::fopen(path, "a")) {
        std::fprintf(log, "%s %s %d %d\n", event == EVENT_OBJECT_SHOW ? "show" : "create", className,
                     GetDlgCtrlID(window), IsWindowVisible(GetAncestor(window, GA_ROOT)) ? 1 : 0);
        std::fclose(log);
    }
}
