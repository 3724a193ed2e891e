// Starting a program from a test under Wine.
#pragma once

#include <windows.h>

#include <cstdio>
#include <string>

// CreateProcessA, and once more when the start failed although the program is there: Wine
// has been seen to fail a start now and then, the program never having run (the test process
// itself, started from Linux, then ends at once without output; a child's CreateProcessA
// fails). Said on standard error; a program that fails twice to start, or is missing, fails.
inline bool startProcess(const char* exe, std::string commandLine, BOOL inheritHandles, DWORD flags,
                         const char* workDir, STARTUPINFOA& startup, PROCESS_INFORMATION& process)
{
    for (int attempt = 1;; ++attempt) {
        if (CreateProcessA(exe, &commandLine[0], nullptr, nullptr, inheritHandles, flags, nullptr, workDir, &startup,
                           &process))
            return true;
        const DWORD error = GetLastError();
        if (attempt == 2 || error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
            return false;
        std::fprintf(stderr, "startProcess: %s did not start (error %lu); starting it once more\n",
                     commandLine.c_str(), error);
    }
}
