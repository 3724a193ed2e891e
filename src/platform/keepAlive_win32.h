#pragma once

// While a command waits for another process's click, or runs a long batch, the Windows seam
// calls back now and then: a window lets Windows see that it answers, and repaints. The
// callback must not start another command. None is set at first (the console needs none).
using KeepAliveCallback = void (*)();
void setKeepAlive(KeepAliveCallback callback);
