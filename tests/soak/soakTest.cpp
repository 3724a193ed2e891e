// Soak: alternating clicks on both buttons through the console's -i mode. Every click succeeds
// with the rows its count implies; between clicks the console holds no more open descriptors
// than after start-up (and the watcher the lookup keeps); at the end the state file and the
// live files agree. `soakTests` runs a short soak; `soakTests --clicks=N` runs N on each button.

#include "consoleProcess.h"
#include "fileIO.h"
#include "scratchTree.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

int clicksPerButton = 15;

TEST(Soak, AlternatingClicksOnBothButtonsStayConsistentAndLeakNoDescriptors)
{
    ScratchTree tree;
    tree.createContent();
    writeStateFile("0\r\n1024");
    Console console(CONSOLE_PATH, {"-i"});
    ASSERT_EQ(console.readUntilRows(), "BinPatch 0: deaktiviert [Aktivieren]\nCabview 1024: 1024x768 [1280 x 1024]\n");
    const int descriptorsAtStart = console.openDescriptors();
    int32_t binpatch = 0;
    int32_t cabview = 1024;
    for (int click = 1; click <= 2 * clicksPerButton; ++click) {
        std::string message;
        if (click % 2 == 1) {
            console.send("binpatch");
            binpatch = 1 - binpatch;
            message = binpatch == 1 ? "BinPatch-Konfiguration erflgreich aktiviert" : "BinPatch-Konfiguration erflgreich deaktiviert";
        } else {
            console.send("cabview");
            cabview = cabview == 1024 ? 1280 : 1024;
            message = cabview == 1280 ? "Cabview-Aufloesung erfolgreich auf 1280x1024 umgestellt"
                                      : "Cabview-Aufloesung erfolgreich auf 1024x768 umgestellt";
        }
        const std::string rows = std::string(binpatch == 1 ? "BinPatch 1: aktiviert [Deaktivieren]\n" : "BinPatch 0: deaktiviert [Aktivieren]\n")
                                 + (cabview == 1280 ? "Cabview 1280: 1280x1024 [1024 x 768]\n" : "Cabview 1024: 1024x768 [1280 x 1024]\n");
        ASSERT_EQ(console.readUntilRows(), "[Aktion ausgefuehrt] " + message + "\n" + rows) << "click " << click;
        ASSERT_LE(console.openDescriptors(), descriptorsAtStart + 1) << "click " << click;
    }
    EXPECT_EQ(console.finish(), 0);
    EXPECT_EQ(stateFileBytes(), std::to_string(binpatch) + "\r\n" + std::to_string(cabview));
    for (const Batch batch : {binpatch == 1 ? Batch::EngfilesBin : Batch::EngfilesNoBin, cabview == 1280 ? Batch::Cabfiles1280 : Batch::Cabfiles1024}) {
        for (const CopyStep& step : stepsToRun(batch, cabview))
            EXPECT_EQ(tree.read(step.target), tree.read(step.source)) << step.target;
    }
}

} // namespace

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--clicks=", 9) == 0)
            clicksPerButton = std::atoi(argv[i] + 9);
    }
    return RUN_ALL_TESTS();
}
