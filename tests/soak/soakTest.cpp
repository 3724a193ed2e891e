// Soak: many alternating clicks on both buttons through the console's -i mode on a demo
// tree. Every click must succeed and show the rows that the click count implies; at the end
// the state file and the live files agree with it; and between clicks, while the console
// waits for its next line, it holds no more open descriptors than it did after start-up.
//
// `soakTests` runs a short soak; `soakTests --clicks=N` runs N clicks on each button.

#include "consoleProcess.h"
#include "fileIO.h"
#include "scratchTree.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <iostream>

namespace {

int clicksPerButton = 150;

std::string binPatchRow(int32_t value)
{
    return value == 1 ? "BinPatch 1: aktiviert [Deaktivieren]" : "BinPatch 0: deaktiviert [Aktivieren]";
}

std::string cabviewRow(int32_t value)
{
    return value == 1280 ? "Cabview 1280: 1280x1024 [1024 x 768]" : "Cabview 1024: 1024x768 [1280 x 1024]";
}

TEST(Soak, AlternatingClicksOnBothButtonsStayConsistentAndLeakNothing)
{
    ScratchTree tree;
    ContentTreeOptions options;
    options.createLiveFiles = false; // as the demo: the batches below write every live file
    tree.createContent(options);
    ASSERT_TRUE(setState(0, 1024));
    ASSERT_EQ(handleEngfilesNoBin(1024), 1);
    ASSERT_EQ(handleCabfiles1024(), 1);

    const auto started = std::chrono::steady_clock::now();
    Console console(CONSOLE_PATH, {"-i"});
    ASSERT_EQ(console.readLine(), binPatchRow(0));
    ASSERT_EQ(console.readLine(), cabviewRow(1024));
    const int descriptorsAtStart = console.openDescriptors();
    ASSERT_GT(descriptorsAtStart, 0);
    int mostDescriptors = descriptorsAtStart;

    int32_t binpatch = 0;
    int32_t cabview = 1024;
    for (int click = 0; click < 2 * clicksPerButton; ++click) {
        std::string expectedMessage = "[Aktion ausgefuehrt] ";
        if (click % 2 == 0) {
            console.send("binpatch");
            binpatch = 1 - binpatch;
            expectedMessage += binpatch == 1 ? "BinPatch-Konfiguration erflgreich aktiviert"
                                             : "BinPatch-Konfiguration erflgreich deaktiviert";
        } else {
            console.send("cabview");
            cabview = cabview == 1024 ? 1280 : 1024;
            expectedMessage += cabview == 1280 ? "Cabview-Aufloesung erfolgreich auf 1280x1024 umgestellt"
                                               : "Cabview-Aufloesung erfolgreich auf 1024x768 umgestellt";
        }
        ASSERT_EQ(console.readLine(), expectedMessage) << "click " << click + 1;
        ASSERT_EQ(console.readLine(), binPatchRow(binpatch)) << "click " << click + 1;
        ASSERT_EQ(console.readLine(), cabviewRow(cabview)) << "click " << click + 1;
        // The rows are flushed after the click has ended: the console now waits for input.
        const int descriptors = console.openDescriptors();
        mostDescriptors = std::max(mostDescriptors, descriptors);
        // One more than at start at most: the folder-change watcher the lookup keeps.
        ASSERT_LE(descriptors, descriptorsAtStart + 1) << "click " << click + 1;
    }
    EXPECT_EQ(console.finish(), 0);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::cout << "soak: " << clicksPerButton << " clicks on each button in " << seconds << " s; descriptors "
              << descriptorsAtStart << " at start, at most " << mostDescriptors << " between clicks\n";

    EXPECT_EQ(binpatch, clicksPerButton % 2);
    EXPECT_EQ(stateFileBytes(), std::to_string(binpatch) + "\r\n" + std::to_string(cabview));
    // The live files hold the variant of the final BinPatch setting, at the final resolution.
    for (const CopyStep& step : stepsToRun(binpatch == 1 ? Batch::EngfilesBin : Batch::EngfilesNoBin, cabview))
        EXPECT_EQ(tree.read(step.target), sourceContent(step.source)) << step.target;
    for (const CopyStep& step : stepsToRun(cabview == 1280 ? Batch::Cabfiles1280 : Batch::Cabfiles1024, 0))
        EXPECT_EQ(tree.read(step.target), tree.read(step.source)) << step.target;
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
