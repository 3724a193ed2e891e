// Copy benchmark: clicks of the console (each a new process, back to back) against three loops
// over the same files with their exact on-disk paths: a bare loop of in-kernel copies over the
// live files, the limit for replacing files whole (an in-kernel copy into a new file beside
// each target, then a rename over it), and the limit for replacing them whole and durably
// (the copies with their write-back started, then each flushed and renamed, then the folders
// flushed). Side by side in one run, warm cache, medians of several
// repetitions; once with the tree spelt as the tables spell it and once with every name on
// disk in a different letter case. Then the peak resident memory of one click of the console,
// on trees whose files differ in size.
//
// Then the same BinPatch click, natively and (given Wine and the Windows programs) under Wine,
// against the durable loop and the replacing loop without a flush, on a slow disk (a file
// system mounted for the bench on which every flush costs 10 ms, as on a spinning disk) and on
// the plain disk, all in turn, so that every figure meets the same moods of the machine.
//
// Then `br927config check` on a tree in order against `cmp` over the same pairs.
//
// Usage: copy-bench <scratch folder> <console> [repetitions [<wine> <copy-bench-wine.exe> <br927config.exe>]]

#include "consoleProcess.h"
#include "benchTree.h"
#include "contentTree.h"
#include "carryOut.h"
#include "stateFile.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {




// A simulator root with the tool's working directory two levels below it.
struct BenchTree {
    std::string root;
    std::string workDir;
};

BenchTree makeTree(const std::string& root, bool everyCaseDifferent, double scale)
{
    fs::remove_all(root);
    fs::create_directories(root + "/ZEK/BR927");
    ContentTreeOptions options;
    if (everyCaseDifferent)
        options.spelling = swappedCase;
    createContentTree(root, options);
    growFiles(root, scale);
    return {root, root + "/ZEK/BR927"};
}

double seconds(std::chrono::steady_clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

struct BareStep {
    std::string source;
    std::string target;
};

bool copyInKernel(int from, int to)
{
    for (;;) {
        const ssize_t copied = ::copy_file_range(from, nullptr, to, nullptr, 1 << 30, 0);
        if (copied <= 0)
            return copied == 0;
    }
}

// Copies source into the file opened at `target` with the given flags.
bool copyInto(const std::string& source, const std::string& target, int flags)
{
    const int from = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
    const int to = ::open(target.c_str(), flags | O_WRONLY | O_CLOEXEC, 0666);
    bool ok = from >= 0 && to >= 0 && copyInKernel(from, to);
    if (from >= 0)
        ::close(from);
    if (to >= 0 && ::close(to) != 0)
        ok = false;
    return ok;
}

// The bare loop: open, truncate, copy in the kernel, close; exact paths, nothing else.
bool bareCopy(const BareStep& step)
{
    return copyInto(step.source, step.target, O_TRUNC);
}

// The limit for whole replacement: a new file beside the target, then a rename over it.
bool replacingCopy(const BareStep& step)
{
    const std::string fresh = step.target + ".new";
    return copyInto(step.source, fresh, O_CREAT | O_EXCL) && ::rename(fresh.c_str(), step.target.c_str()) == 0;
}

// What no whole replacement can do without: the source opened, a new file created beside the
// target and renamed over an existing file there (one put beside the target for it, so that
// the live files stay as they are); nothing copied, nothing flushed.
double timeCallsAlone(const std::vector<BareStep>& steps)
{
    for (const BareStep& step : steps)
        writeWholeFile(step.target + ".old", "");
    const auto start = std::chrono::steady_clock::now();
    for (const BareStep& step : steps) {
        const std::string fresh = step.target + ".new";
        const int from = ::open(step.source.c_str(), O_RDONLY | O_CLOEXEC);
        const int to = ::open(fresh.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        const bool ok = from >= 0 && to >= 0 && ::rename(fresh.c_str(), (step.target + ".old").c_str()) == 0;
        ::close(from);
        ::close(to);
        if (!ok)
            throw std::runtime_error("the calls failed at " + step.target);
    }
    const double took = seconds(std::chrono::steady_clock::now() - start);
    for (const BareStep& step : steps)
        fs::remove(step.target + ".old");
    return took;
}

// The limit for durable whole replacement: every copy into a new file beside its target with
// its write-back started at once, then each flushed and renamed over its target, then each
// folder renamed into flushed.
bool durableCopies(const std::vector<BareStep>& steps)
{
    std::vector<int> files;
    bool ok = true;
    for (const BareStep& step : steps) {
        const int from = ::open(step.source.c_str(), O_RDONLY | O_CLOEXEC);
        const int to = ::open((step.target + ".new").c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        ok = from >= 0 && to >= 0 && copyInKernel(from, to) && ok;
        ::close(from);
        ::sync_file_range(to, 0, 0, SYNC_FILE_RANGE_WRITE);
        files.push_back(to);
    }
    std::set<std::string> folders;
    for (size_t i = 0; i < steps.size(); ++i) {
        ok = ::fdatasync(files[i]) == 0 && ::close(files[i]) == 0 && ok;
        ok = ::rename((steps[i].target + ".new").c_str(), steps[i].target.c_str()) == 0 && ok;
        folders.insert(fs::path(steps[i].target).parent_path().string());
    }
    for (const std::string& folder : folders) {
        const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ok = fd >= 0 && ::fsync(fd) == 0 && ok;
        ::close(fd);
    }
    return ok;
}

// Exact on-disk paths of the steps, relative to the working directory as the tool's are.
std::vector<BareStep> exactSteps(const BenchTree& tree, Batch batch, int32_t cabview)
{
    std::vector<BareStep> steps;
    for (const CopyStep& step : stepsToRun(batch, cabview)) {
        const std::string source = findUnderRoot(tree.root, step.source);
        const std::string target = findUnderRoot(tree.root, step.target);
        if (source.empty() || target.empty())
            throw std::runtime_error("missing in the bench tree: " + step.source + " -> " + step.target);
        steps.push_back({"../../" + fs::relative(source, tree.root).generic_string(),
                         "../../" + fs::relative(target, tree.root).generic_string()});
    }
    return steps;
}

size_t bytesCopied(const std::vector<BareStep>& steps)
{
    size_t total = 0;
    for (const BareStep& step : steps)
        total += fs::file_size(step.source);
    return total;
}

struct Figures {
    double tool;
    double bare;
    double replacing;
    double durable;
};

// One process with these arguments and its output thrown away, waited for; its exit code.
int runProcess(const std::vector<std::string>& argv)
{
    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int spawned = ::posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    ::posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        throw std::runtime_error("cannot start " + argv[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Runs the program with its output thrown away and waits for its end; the time it took.
double timeProcess(const std::string& program, const char* argument)
{
    const auto start = std::chrono::steady_clock::now();
    const int exitCode = runProcess(argument == nullptr ? std::vector<std::string>{program}
                                                        : std::vector<std::string>{program, argument});
    const double elapsed = seconds(std::chrono::steady_clock::now() - start);
    if (exitCode != 0)
        throw std::runtime_error(program + " failed in the bench tree");
    return elapsed;
}

// One click of the console in a new process, from a state file that makes it run the batch.
double timeClick(const std::string& console, Batch batch)
{
    setState(0, 1024);
    ::sync(); // each run starts with nothing of the last one still being written out
    return timeProcess(console, batch == Batch::EngfilesBin ? "binpatch" : "cabview");
}

// A loop that copies one step at a time.
template <bool (*copy)(const BareStep&)>
bool eachStep(const std::vector<BareStep>& steps)
{
    for (const BareStep& step : steps) {
        if (!copy(step))
            return false;
    }
    return true;
}

double timeLoop(const std::vector<BareStep>& steps, bool (*loop)(const std::vector<BareStep>&))
{
    ::sync();
    const auto start = std::chrono::steady_clock::now();
    if (!loop(steps))
        throw std::runtime_error("a loop's copy failed");
    return seconds(std::chrono::steady_clock::now() - start);
}

// Clicks and both loops in turn, each going first in its turn, after one warm-up run of the
// loops (which also brings every source into the page cache). The clicks follow one another
// with only the loops between them, as clicks back to back would.
Figures measure(const std::string& console, Batch batch, const std::vector<BareStep>& steps, int repetitions)
{
    std::vector<double> tool;
    std::vector<double> bare;
    std::vector<double> replacing;
    std::vector<double> durable;
    timeLoop(steps, eachStep<bareCopy>);
    timeLoop(steps, eachStep<replacingCopy>);
    timeLoop(steps, durableCopies);
    for (int i = 0; i < repetitions; ++i) {
        for (int turn = 0; turn < 4; ++turn) {
            switch ((i + turn) % 4) {
            case 0: tool.push_back(timeClick(console, batch)); break;
            case 1: bare.push_back(timeLoop(steps, eachStep<bareCopy>)); break;
            case 2: replacing.push_back(timeLoop(steps, eachStep<replacingCopy>)); break;
            default: durable.push_back(timeLoop(steps, durableCopies)); break;
            }
        }
    }
    return {median(tool), median(bare), median(replacing), median(durable)};
}

void compare(const char* title, const BenchTree& tree, const std::string& console, int repetitions)
{
    fs::current_path(tree.workDir);
    std::printf("%s\n", title);
    std::printf("  %-20s %6s %7s %9s %9s %12s %10s %9s %9s %9s\n", "batch", "steps", "MiB", "click ms", "bare ms",
                "replacing ms", "durable ms", "/ bare", "/ repl.", "/ dur.");
    struct Row {
        const char* name;
        Batch batch;
        int32_t cabview;
    };
    for (const Row& row : {Row{"BinPatch on (1024)", Batch::EngfilesBin, 1024},
                           Row{"cab view 1280x1024", Batch::Cabfiles1280, 0}}) {
        const std::vector<BareStep> steps = exactSteps(tree, row.batch, row.cabview);
        const Figures figures = measure(console, row.batch, steps, repetitions);
        std::printf("  %-20s %6zu %7.1f %9.2f %9.2f %12.2f %10.2f %9.3f %9.3f %9.3f\n", row.name, steps.size(),
                    static_cast<double>(bytesCopied(steps)) / MiB, figures.tool * 1e3, figures.bare * 1e3,
                    figures.replacing * 1e3, figures.durable * 1e3, figures.tool / figures.bare,
                    figures.tool / figures.replacing, figures.tool / figures.durable);
    }
    std::fflush(stdout);
}

// One turn of a click and the two loops over the same files, in seconds.
struct Turn {
    double click;
    double durable;
    double replacing;
    double calls; // the calls alone
};

// A turn of the native console, from the tree's working directory: its runs, the turn saying
// which of the first three goes first.
Turn nativeTurn(const BenchTree& tree, const std::string& console, int turn)
{
    fs::current_path(tree.workDir);
    const std::vector<BareStep> steps = exactSteps(tree, Batch::EngfilesBin, 1024);
    Turn times{};
    times.calls = timeCallsAlone(steps);
    for (int each = 0; each < 3; ++each) {
        switch ((turn + each) % 3) {
        case 0: times.click = timeClick(console, Batch::EngfilesBin); break;
        case 1: times.durable = timeLoop(steps, durableCopies); break;
        default: times.replacing = timeLoop(steps, eachStep<replacingCopy>); break;
        }
    }
    return times;
}

// The Windows side, run under Wine a turn at a time: the Wine loader, copy-bench-wine.exe and
// the Windows console.
struct WineBench {
    std::string wine;
    std::string bench;
    std::string console;
};

// A turn of the Windows console and the Windows API's loops, timed under Wine itself.
Turn wineTurn(const WineBench& windows, const BenchTree& tree, int turn)
{
    const std::string command = "'" + windows.wine + "' '" + windows.bench + "' 'Z:" + tree.workDir + "' 'Z:" + windows.console
                                + "' " + std::to_string(turn) + " 2>/dev/null";
    ::sync();
    std::FILE* out = ::popen(command.c_str(), "r");
    Turn times{};
    const bool read = out != nullptr
                      && std::fscanf(out, "%lf %lf %lf %lf", &times.click, &times.durable, &times.replacing, &times.calls) == 4;
    if (out == nullptr || ::pclose(out) != 0 || !read)
        throw std::runtime_error("the turn under Wine failed: " + command);
    return times;
}

// A slow disk over a folder for the object's life: every flush of a file or a folder on it
// waits kSlowFlushMs, and flushes given at once wait side by side.
constexpr int kSlowFlushMs = 10;

class SlowDisk {
public:
    SlowDisk(const std::string& origin, const std::string& at) : at_(at)
    {
#ifdef SLOW_DISK
        fs::create_directories(origin);
        fs::create_directories(at);
        runProcess({SLOW_DISK, origin, at, std::to_string(kSlowFlushMs)});
        struct stat mount;
        struct stat above;
        mounted_ = ::stat(at.c_str(), &mount) == 0 && ::stat(fs::path(at).parent_path().c_str(), &above) == 0
                   && mount.st_dev != above.st_dev;
        why_ = "it did not mount (it needs /dev/fuse and root)";
#else
        (void)origin;
        why_ = "built without libfuse3's headers (Debian: libfuse3-dev)";
#endif
    }
    ~SlowDisk()
    {
        if (mounted_)
            ::umount2(at_.c_str(), MNT_DETACH);
    }
    bool mounted() const { return mounted_; }
    const std::string& why() const { return why_; }

private:
    std::string at_;
    bool mounted_ = false;
    std::string why_;
};

// Medians of the turns of one console on one disk, printed as a row.
void printTurns(const char* disk, const char* console, const std::vector<Turn>& turns)
{
    std::vector<double> click, durable, replacing, calls;
    for (const Turn& turn : turns) {
        click.push_back(turn.click);
        durable.push_back(turn.durable);
        replacing.push_back(turn.replacing);
        calls.push_back(turn.calls);
    }
    std::printf("  %-18s %-8s %9.1f %11.1f %13.1f %9.1f %10.3f %12.3f %9.3f\n", disk, console, median(click) * 1e3,
                median(durable) * 1e3, median(replacing) * 1e3, median(calls) * 1e3, median(click) / median(durable),
                median(click) / median(replacing), median(calls) / median(durable));
}

// BinPatch clicks against the durable loop and the replacing loop without a flush, on the
// slow disk and the plain one, natively and under Wine: every turn of each in turn.
void compareDisks(const std::string& scratch, const BenchTree& plain, const std::string& console,
                  const WineBench& windows, int repetitions)
{
    const SlowDisk disk(scratch + "/slow-origin", scratch + "/slow");
    std::printf("\nBinPatch clicks against the durable loop and the replacing loop without a flush, each console's own,\n"
                "on a slow disk (every flush %d ms) and the plain disk, natively and under Wine, in turn; calls = each\n"
                "step's source opened, a new file created beside its target and renamed over it, nothing copied or flushed\n",
                kSlowFlushMs);
    if (!disk.mounted())
        std::printf("  (no slow disk: %s)\n", disk.why().c_str());
    if (windows.wine.empty())
        std::printf("  (no Windows side: no Wine and Windows programs given)\n");
    const BenchTree slow = disk.mounted() ? makeTree(scratch + "/slow/tree", false, 1.0) : BenchTree();
    std::vector<Turn> turns[2][2]; // [slow, plain][native, Wine]
    for (int each = -1; each < repetitions; ++each) { // the first turn only warms up
        for (int onDisk = disk.mounted() ? 0 : 1; onDisk < 2; ++onDisk) {
            const BenchTree& tree = onDisk == 0 ? slow : plain;
            const Turn native = nativeTurn(tree, console, each + 1);
            const Turn underWine = windows.wine.empty() ? Turn{} : wineTurn(windows, tree, each + 1);
            if (each >= 0) {
                turns[onDisk][0].push_back(native);
                turns[onDisk][1].push_back(underWine);
            }
        }
    }
    std::printf("  %-18s %-8s %9s %11s %13s %9s %10s %12s %9s\n", "disk", "console", "click ms", "durable ms", "replacing ms",
                "calls ms", "/ durable", "/ replacing", "calls / durable");
    for (int onDisk = disk.mounted() ? 0 : 1; onDisk < 2; ++onDisk) {
        const std::string name = onDisk == 0 ? "slow (" + std::to_string(kSlowFlushMs) + " ms flush)" : "plain";
        printTurns(name.c_str(), "Linux", turns[onDisk][0]);
        if (!windows.wine.empty())
            printTurns(name.c_str(), "Wine", turns[onDisk][1]);
    }
    std::fflush(stdout);
    fs::current_path(plain.workDir);
    if (disk.mounted())
        fs::remove_all(slow.root);
}

// Two sets of BinPatch clicks side by side: their medians and the ratio of the second to the first.
void printClicks(const char* first, const char* second, const std::vector<double>& a, const std::vector<double>& b)
{
    std::printf("  %-20s %6s %9s %9s %9s\n", "BinPatch on (1024)", "", first, second, "ratio");
    std::printf("  %-20s %6s %9.2f %9.2f %9.3f\n", "", "", median(a) * 1e3, median(b) * 1e3, median(b) / median(a));
    std::fflush(stdout);
}

// BinPatch clicks on the two trees in alternation, so that both meet the same state of the
// machine: what the lookup costs when no name is found as written.
void compareSpellings(const BenchTree& exact, const BenchTree& folded, const std::string& console, int repetitions)
{
    std::vector<double> clicks[2];
    for (int i = 0; i < 2 * repetitions; ++i) {
        const int tree = (i + i / 2) % 2; // exact, folded, folded, exact, ...
        fs::current_path(tree == 0 ? exact.workDir : folded.workDir);
        clicks[tree].push_back(timeClick(console, Batch::EngfilesBin));
    }
    printClicks("exact ms", "other ms", clicks[0], clicks[1]);
}

// BinPatch clicks (on, then back off untimed) through one long-lived console in its -i mode
// against the same clicks each in a new process: the long-lived one keeps nothing from one
// click to the next, so it must not be slower.
void compareLongLived(const BenchTree& tree, const std::string& console, int repetitions)
{
    fs::current_path(tree.workDir);
    setState(0, 1024);
    Console process(console, {"-i"});
    process.readUntilRows();
    const auto clickThrough = [&process] {
        process.send("binpatch");
        if (process.readUntilRows().find("[Aktion ausgefuehrt]") == std::string::npos)
            throw std::runtime_error("a click of the long-lived console failed");
    };
    std::vector<double> longLived;
    std::vector<double> fresh;
    for (int i = 0; i < 2 * repetitions; ++i) {
        if ((i + i / 2) % 2 == 0) { // each going first in turn
            ::sync();
            const auto start = std::chrono::steady_clock::now();
            clickThrough();
            longLived.push_back(seconds(std::chrono::steady_clock::now() - start));
            clickThrough();
        } else {
            fresh.push_back(timeClick(console, Batch::EngfilesBin));
            timeProcess(console, "binpatch");
        }
    }
    process.finish();
    printClicks("fresh ms", "-i ms", fresh, longLived);
}

// Peak resident memory of the console doing one BinPatch click, in KiB: the console runs in
// its -i mode, and once the click's rows have come back its peak (VmHWM, counted since its
// exec) is read from outside while it waits for the next line.
long peakMemoryOfOneClick(const BenchTree& tree, const std::string& console)
{
    fs::current_path(tree.workDir);
    setState(0, 1024);
    Console process(console, {"-i"});
    process.readUntilRows(); // the rows after start-up
    process.send("binpatch");
    const std::string answer = process.readUntilRows();
    if (answer.find("erflgreich aktiviert") == std::string::npos)
        throw std::runtime_error("the click failed: " + answer);
    long peak = -1;
    std::FILE* status = std::fopen(("/proc/" + std::to_string(process.pid()) + "/status").c_str(), "r");
    for (char line[256]; status != nullptr && std::fgets(line, sizeof line, status) != nullptr;) {
        if (std::strncmp(line, "VmHWM:", 6) == 0)
            peak = std::atol(line + 6);
    }
    if (status != nullptr)
        std::fclose(status);
    process.finish();
    return peak;
}

double timeCheck(const std::string& console, int expectedExitCode = 0)
{
    const auto start = std::chrono::steady_clock::now();
    if (runProcess({console, "check"}) != expectedExitCode)
        throw std::runtime_error("the bench tree is not in order");
    return seconds(std::chrono::steady_clock::now() - start);
}

double timeCmp(const std::vector<BareStep>& pairs)
{
    const auto start = std::chrono::steady_clock::now();
    for (const BareStep& pair : pairs) {
        if (runProcess({"cmp", "-s", pair.source, pair.target}) != 0)
            throw std::runtime_error("cmp found a difference: " + pair.target);
    }
    return seconds(std::chrono::steady_clock::now() - start);
}

// `br927config check` on a tree in order (every byte compared) against `cmp -s` run on each
// of the same pairs with their exact paths, in alternation. Starting a process costs more
// than comparing most of these files, so the figures are also given without it: `cmp` on as
// many pairs of empty files, and the tool on a tree whose state file makes it compare nothing.
void compareCheck(const BenchTree& tree, const std::string& console, int repetitions)
{
    fs::current_path(tree.workDir);
    setState(1, 1024);
    if (!carryOut(planInStep({1, 1024})).succeeded())
        throw std::runtime_error("the batches failed in the bench tree");
    std::vector<BareStep> pairs = exactSteps(tree, Batch::EngfilesBin, 1024);
    const std::vector<BareStep> cab = exactSteps(tree, Batch::Cabfiles1024, 0);
    pairs.insert(pairs.end(), cab.begin(), cab.end());
    writeWholeFile("empty", "");
    const std::vector<BareStep> empty(pairs.size(), BareStep{"empty", "empty"});
    std::vector<double> check, cmp, checkStart, cmpStart;
    timeCheck(console);
    timeCmp(pairs);
    for (int i = 0; i < repetitions; ++i) {
        setState(1, 1024);
        check.push_back(timeCheck(console));
        cmp.push_back(timeCmp(pairs));
        setState(7, 800);
        checkStart.push_back(timeCheck(console, 1));
        cmpStart.push_back(timeCmp(empty));
    }
    fs::remove("empty");
    setState(1, 1024);
    const double checkMs = median(check) * 1e3;
    const double cmpMs = median(cmp) * 1e3;
    const double checkNet = checkMs - median(checkStart) * 1e3;
    const double cmpNet = cmpMs - median(cmpStart) * 1e3;
    std::printf("\nCheck of the live files (BinPatch on, 1024x768: %zu pairs, %.1f MiB each side)\n", pairs.size(),
                static_cast<double>(bytesCopied(pairs)) / MiB);
    std::printf("  %-34s %11s %11s %7s\n", "", "check ms", "cmp ms", "ratio");
    std::printf("  %-34s %11.2f %11.2f %7.3f\n", "as run (one check, one cmp a pair)", checkMs, cmpMs, checkMs / cmpMs);
    std::printf("  %-34s %11.2f %11.2f %7.3f\n", "without starting processes", checkNet, cmpNet, checkNet / cmpNet);
    std::fflush(stdout);
}

// A live file changed by hand: the same size as its variants, one byte different, so that a
// click must read it whole to know it changed.
void changeByHand(const std::string& path)
{
    std::string content = readWholeFile(path);
    content[0] = static_cast<char>(content[0] ^ 0x55);
    writeWholeFile(path, content);
}

// BinPatch clicks on a tree in order against clicks over a tree with one file of each kind
// changed by hand (engine, shape, live texture, resolution folder's texture, cab-view
// definition), which the click keeps aside before it replaces them; in alternation.
void compareChanged(const BenchTree& tree, const std::string& console, int repetitions)
{
    fs::current_path(tree.workDir);
    std::vector<std::string> changed;
    for (const char* end : {".eng", ".s", "Cabview/927_front1024.ace", "1280x1024/927_front1024.ace", ".cvf"}) {
        for (const CopyStep& step : stepsToRun(Batch::EngfilesBin, 1024)) {
            if (endsWith(asciiLowered(step.target), asciiLowered(end))) {
                changed.push_back(findUnderRoot(tree.root, step.target));
                break;
            }
        }
    }
    std::vector<double> clicks[2];
    for (int i = 0; i < 2 * repetitions; ++i) {
        const int kind = (i + i / 2) % 2; // in order, changed, changed, in order, ...
        fs::remove_all("Sicherungen");
        if (kind == 1) {
            for (const std::string& path : changed)
                changeByHand(path);
        }
        clicks[kind].push_back(timeClick(console, Batch::EngfilesBin));
    }
    fs::remove_all("Sicherungen");
    printClicks("in order", "changed", clicks[0], clicks[1]);
}

// An installed tree has been left alone for a while before the first click.
void letTheTreeSettle()
{
    std::this_thread::sleep_for(std::chrono::milliseconds(2100));
}

} // namespace

int main(int argc, char** argv)
{
    // A median needs at least one run.
    const int repetitions = argc > 3 ? std::atoi(argv[3]) : 11;
    if ((argc != 3 && argc != 4 && argc != 7) || repetitions < 1) {
        std::fprintf(stderr, "usage: copy-bench <scratch folder> <console> [repetitions, at least 1 "
                             "[<wine> <copy-bench-wine.exe> <br927config.exe>]]\n");
        return 2;
    }
    const WineBench windows = argc == 7 ? WineBench{argv[4], fs::absolute(argv[5]).string(), fs::absolute(argv[6]).string()}
                                        : WineBench{};
    const std::string scratch = fs::absolute(argv[1]).string();
    const std::string console = fs::absolute(argv[2]).string();
    const fs::path home = fs::current_path();

    std::printf("copy-bench: %d repetitions, medians; each click a new process (%s); loops with exact paths:\n"
                "  bare = open, O_TRUNC, copy_file_range, close; replacing = the same into a new file, rename;\n"
                "  durable = every copy into a new file with its write-back started, then fdatasync and rename each,\n"
                "  then fsync each folder\n\n",
                repetitions, console.c_str());
    {
        const BenchTree exact = makeTree(scratch + "/exact", false, 1.0);
        const BenchTree folded = makeTree(scratch + "/folded", true, 1.0);
        letTheTreeSettle();
        compare("Names on disk as the tables spell them", exact, console, repetitions);
        compare("Every name on disk in a different letter case", folded, console, repetitions);
        // Each turn on the slow disk takes seconds: half as many of them.
        compareDisks(scratch, exact, console, windows, (repetitions + 1) / 2);
        std::printf("\nClicks on the two trees in alternation: the tables' spelling against every name in another case\n");
        compareSpellings(exact, folded, console, repetitions);
        std::printf("\nClicks of one long-lived console (-i) against a new process per click, every name in another case\n");
        compareLongLived(folded, console, repetitions);
        std::printf("\nClicks over a tree in order against clicks over one file of each kind changed by hand (kept aside)\n");
        compareChanged(exact, console, repetitions);
        compareCheck(exact, console, repetitions);
        std::vector<double> nothing;
        for (int i = 0; i < repetitions; ++i)
            nothing.push_back(timeProcess("/bin/true", nullptr));
        std::printf("A process that does nothing (/bin/true) takes %.2f ms here.\n", median(nothing) * 1e3);
        fs::current_path(home);
        fs::remove_all(exact.root);
        fs::remove_all(folded.root);
    }

    std::printf("\nPeak resident memory of one BinPatch click (console, %s)\n", console.c_str());
    for (const double scale : {0.01, 1.0, 4.0, 0.0}) {
        // The last: the small tree with one shape of 64 MiB.
        const BenchTree tree = makeTree(scratch + "/memory", false, scale > 0 ? scale : 0.01);
        size_t total = 0;
        for (const CopyStep& step : stepsToRun(Batch::EngfilesBin, 1024))
            total += realisticSize(asciiLowered(step.source), scale > 0 ? scale : 0.01);
        if (scale == 0.0) {
            const std::vector<CopyStep> steps = stepsToRun(Batch::EngfilesBin, 1024);
            const auto shape = std::find_if(steps.begin(), steps.end(), [](const CopyStep& step) { return endsWith(step.source, ".s"); });
            const std::string path = findUnderRoot(tree.root, shape->source);
            total += 64 * MiB - fs::file_size(path);
            fs::resize_file(path, 64 * MiB);
        }
        std::printf("  %7.1f MiB copied: %6ld KiB\n", static_cast<double>(total) / MiB, peakMemoryOfOneClick(tree, console));
        fs::current_path(home);
        fs::remove_all(tree.root);
    }
    return 0;
}
