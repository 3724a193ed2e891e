#pragma once

#include <windows.h>

// While a command waits for another process's click, or runs a long batch, the Windows seam
// calls back now and then: a window lets Windows see that it answers, and repaints. `answer`
// must not start another command. `wait` waits as MsgWaitForMultipleObjects(count, handles,
// FALSE, timeoutMs, QS_ALLINPUT) does; it comes from the window too, since its library costs
// every start of a program that links it (some 50 ms under Wine), and the console, which
// sets no keep-alive, has no use for it.
struct KeepAlive {
    void (*answer)();
    DWORD (*wait)(DWORD count, const HANDLE* handles, DWORD timeoutMs);
};
void setKeepAlive(const KeepAlive& keepAlive);
