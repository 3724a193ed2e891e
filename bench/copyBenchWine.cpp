// The Windows click against the bare durable loop of the Windows API, under Wine: a BinPatch
// click of the console (a new process each time) and, over the same steps and files, a loop
// of CopyFileA into a new file, FlushFileBuffers and MoveFileExA with MOVEFILE_WRITE_THROUGH;
// then the seam's copies of the same steps alone, called in this process. They take turns
// going first; medians.
//
// Usage: copy-bench-wine <folder for the tree> <br927config.exe> <repetitions>

#include "benchTree.h"
#include "contentTree.h"
#include "copyTables.h"
#include "stateFile.h"
#include "replaceFile.h"

#include <windows.h>

#include <algorithm>
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

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
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

// The same steps through the Windows seam, in this process.
double timeSeam(const std::vector<CopyStep>& steps)
{
    std::vector<FilePair> pairs;
    for (const CopyStep& step : steps)
        pairs.push_back({step.source, step.target});
    const double start = now();
    copyFilesReplacing(pairs);
    return now() - start;
}

} // namespace

int main(int argc, char** argv)
{
    // A median needs at least one run.
    const int repetitions = argc == 4 ? std::atoi(argv[3]) : 0;
    if (repetitions < 1) {
        std::fprintf(stderr, "usage: copy-bench-wine <folder> <br927config.exe> <repetitions, at least 1>\n");
        return 2;
    }
    const std::string root = argv[1];
    const std::string console = argv[2];
    fs::remove_all(root);
    fs::create_directories(root + "/ZEK/BR927");
    ContentTreeOptions options;
    createContentTree(root, options);
    growFiles(root, 1.0);
    fs::current_path(root + "/ZEK/BR927");
    const std::vector<CopyStep> steps = stepsToRun(Batch::EngfilesBin, 1024);

    std::vector<double> clicks;
    std::vector<double> loops;
    std::vector<double> seams;
    timeDurableLoop(steps); // warm-up: every source in the cache
    timeClick(console);
    for (int i = 0; i < repetitions; ++i) {
        if (i % 2 == 0) {
            clicks.push_back(timeClick(console));
            loops.push_back(timeDurableLoop(steps));
            seams.push_back(timeSeam(steps));
        } else {
            seams.push_back(timeSeam(steps));
            loops.push_back(timeDurableLoop(steps));
            clicks.push_back(timeClick(console));
        }
    }
    std::printf("copy-bench-wine: %d repetitions, medians, BinPatch on (%zu steps), under Wine\n", repetitions, steps.size());
    std::printf("  click %.1f ms, durable loop of the Windows API %.1f ms, click / loop %.3f\n", median(clicks) * 1e3,
                median(loops) * 1e3, median(clicks) / median(loops));
    std::printf("  the seam's copies alone, in this process (no start, no state file, no check) %.1f ms, / loop %.3f\n",
                median(seams) * 1e3, median(seams) / median(loops));
    return 0;
}
