// Soak: alternating clicks on both buttons through one long-lived console (-i) on a fresh test
// tree. Every click must succeed with the rows its count implies, the console must hold no
// more descriptors between clicks than after its start, and the state file must agree at the
// end. Prints the time per click and the most descriptors seen; exits 1 at the first fault.
//
// Usage: soak <scratch folder> <console> [clicks on each button]

#include "consoleProcess.h"
#include "contentTree.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace fs = std::filesystem;

namespace {

std::string rows(int binpatch, int cabview)
{
    return std::string(binpatch == 1 ? "BinPatch 1: aktiviert [Deaktivieren]\n" : "BinPatch 0: deaktiviert [Aktivieren]\n")
           + (cabview == 1280 ? "Cabview 1280: 1280x1024 [1024 x 768]\n" : "Cabview 1024: 1024x768 [1280 x 1024]\n");
}

int fault(int click, const std::string& what)
{
    std::fprintf(stderr, "soak: click %d: %s\n", click, what.c_str());
    return 1;
}

int soak(const std::string& console, int clicksPerButton)
{
    Console tool(console, {"-i"});
    if (tool.readUntilRows() != rows(0, 1024))
        return fault(0, "the start does not show the state file's values");
    const int descriptorsAtStart = tool.openDescriptors();
    int mostDescriptors = descriptorsAtStart;
    int binpatch = 0;
    int cabview = 1024;
    const auto start = std::chrono::steady_clock::now();
    for (int click = 1; click <= 2 * clicksPerButton; ++click) {
        const bool binpatchClick = click % 2 == 1;
        tool.send(binpatchClick ? "binpatch" : "cabview");
        binpatch = binpatchClick ? 1 - binpatch : binpatch;
        cabview = binpatchClick ? cabview : (cabview == 1024 ? 1280 : 1024);
        const std::string answer = tool.readUntilRows();
        const std::string expected = rows(binpatch, cabview);
        if (answer.rfind("[Aktion ausgefuehrt] ", 0) != 0 || answer.find('\n') + 1 + expected.size() != answer.size()
            || answer.compare(answer.size() - expected.size(), expected.size(), expected) != 0)
            return fault(click, "answered " + answer);
        mostDescriptors = std::max(mostDescriptors, tool.openDescriptors());
        if (mostDescriptors > descriptorsAtStart)
            return fault(click, "holds " + std::to_string(mostDescriptors) + " descriptors, "
                                    + std::to_string(descriptorsAtStart) + " after its start");
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (tool.finish() != 0)
        return fault(2 * clicksPerButton, "the console did not end with 0");
    if (readWholeFile("br927.zekconfig") != std::to_string(binpatch) + "\r\n" + std::to_string(cabview))
        return fault(2 * clicksPerButton, "the state file does not agree");
    std::printf("%d clicks on each button in %.1f s: %.1f ms per click; at most %d descriptors open, as after the start\n",
                clicksPerButton, seconds, 1000 * seconds / (2 * clicksPerButton), mostDescriptors);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: soak <scratch folder> <console> [clicks on each button]\n");
        return 2;
    }
    const fs::path root = fs::absolute(argv[1]);
    const std::string console = fs::absolute(argv[2]).string();
    const int clicksPerButton = argc > 3 ? std::atoi(argv[3]) : 10000;
    fs::remove_all(root);
    fs::create_directories(root / "ZEK" / "BR927");
    createContentTree(root.string(), {});
    fs::current_path(root / "ZEK" / "BR927");
    writeWholeFile("br927.zekconfig", "0\r\n1024");
    const int status = soak(console, clicksPerButton);
    fs::current_path(root.parent_path());
    fs::remove_all(root);
    return status;
}
