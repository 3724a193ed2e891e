// One turn of the Windows click against the Windows API's loops, under Wine, on a bench tree
// that copy-bench made: a BinPatch click of the console (a new process), and over the same
// steps and files the bare durable loop (CopyFileA into a new file, FlushFileBuffers and
// MoveFileExA with MOVEFILE_WRITE_THROUGH), the replacing loop without a flush (CopyFileA,
// MoveFileExA), and before them the calls alone that no whole replacement does without (each
// source opened, a new file created beside its target and renamed over it, nothing copied or
// flushed). The turn says which of the first three goes first. Prints the four times in
// seconds, in that order; copy-bench takes the medians.
//
// Usage: copy-bench-wine <working directory of the tree> <br927config.exe> <turn>

#include "copyTables.h"
#include "newFiles_win32.h"
#include "stateFile.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

double now()
{
    LARGE_INTEGER counter;
    LARGE_INTEGER frequency;
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

double timeClick(const std::string& console)
{
    setState(0, 1024);
    std::string command = "\"" + console + "\" binpatch";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    const HANDLE nowhere = CreateFileA("NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    SetHandleInformation(nowhere, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    startup.hStdOutput = nowhere;
    startup.hStdError = nowhere;
    PROCESS_INFORMATION process;
    const double start = now();
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process))
        throw std::runtime_error("cannot start " + console);
    WaitForSingleObject(process.hProcess, INFINITE);
    const double took = now() - start;
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    CloseHandle(nowhere);
    if (code != 0)
        throw std::runtime_error("the click failed in the bench tree");
    return took;
}

// The bare durable loop of the Windows API.
double timeDurableLoop(const std::vector<CopyStep>& steps)
{
    const double start = now();
    for (const CopyStep& step : steps) {
        const std::string newPath = step.target + ".bench-new";
        const HANDLE file = CopyFileA(step.source.c_str(), newPath.c_str(), FALSE)
            ? CreateFileA(newPath.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr)
            : INVALID_HANDLE_VALUE;
        const bool flushed = file != INVALID_HANDLE_VALUE && FlushFileBuffers(file);
        if (file != INVALID_HANDLE_VALUE)
            CloseHandle(file);
        if (!flushed || !MoveFileExA(newPath.c_str(), step.target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            throw std::runtime_error("the loop failed at " + step.target);
    }
    return now() - start;
}

// The Windows API's replacing loop, which flushes nothing: CopyFileA into a new file, then
// MoveFileExA over the target.
double timeReplacingLoop(const std::vector<CopyStep>& steps)
{
    const double start = now();
    for (const CopyStep& step : steps) {
        const std::string newPath = step.target + ".bench-new";
        if (!CopyFileA(step.source.c_str(), newPath.c_str(), FALSE)
            || !MoveFileExA(newPath.c_str(), step.target.c_str(), MOVEFILE_REPLACE_EXISTING))
            throw std::runtime_error("the loop failed at " + step.target);
    }
    return now() - start;
}

// The source opened, a new file created beside the target and renamed over an existing file
// there (one put beside the target for it, so that the live files stay as they are), each file
// named relative to its folder and renamed through its handle, as the console does; nothing
// copied, nothing flushed.
double timeCallsAlone(const std::vector<CopyStep>& steps)
{
    std::vector<std::string> paths;
    for (const CopyStep& step : steps) {
        paths.push_back(step.source);
        paths.push_back(step.target);
        CloseHandle(CreateFileA((step.target + ".bench-old").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    }
    const double start = now();
    OpenFolders folders;
    folders.open(paths);
    for (const CopyStep& step : steps) {
        const Handle source(folders.openToRead(step.source));
        const Handle file(folders.createFile(step.target + ".bench-new", GENERIC_WRITE | DELETE, kShareAll, CREATE_NEW,
                                             FILE_ATTRIBUTE_NORMAL));
        std::vector<char> rename = renameRequest(step.target + ".bench-old");
        if (!source || !file
            || !SetFileInformationByHandle(file.get(), FileRenameInfo, rename.data(), static_cast<DWORD>(rename.size())))
            throw std::runtime_error("the calls failed at " + step.target);
    }
    const double took = now() - start;
    for (const CopyStep& step : steps)
        DeleteFileA((step.target + ".bench-old").c_str());
    return took;
}

} // namespace

int main(int argc, char** argv)
{
    const int turn = argc == 4 ? std::atoi(argv[3]) : -1;
    if (turn < 0) {
        std::fprintf(stderr, "usage: copy-bench-wine <working directory of a bench tree> <br927config.exe> <turn>\n");
        return 2;
    }
    const std::string console = argv[2];
    fs::current_path(argv[1]);
    const std::vector<CopyStep> steps = stepsToRun(Batch::EngfilesBin, 1024);
    double click = 0;
    double durable = 0;
    double replacing = 0;
    const double calls = timeCallsAlone(steps);
    for (int each = 0; each < 3; ++each) {
        switch ((turn + each) % 3) {
        case 0: click = timeClick(console); break;
        case 1: durable = timeDurableLoop(steps); break;
        default: replacing = timeReplacingLoop(steps); break;
        }
    }
    std::printf("%.6f %.6f %.6f %.6f\n", click, durable, replacing, calls);
    return 0;
}
