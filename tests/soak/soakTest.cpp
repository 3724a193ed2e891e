// Soak: alternating clicks on both buttons through the console's -i mode. Every click succeeds
// with the rows its count implies; between clicks the console holds no more open descriptors
// than after start-up; at the end the state file agrees. `soakTests` runs a short soak; `soakTests --clicks=N` runs N on each button.

#include "consoleProcess.h"
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
        console.send(click % 2 == 1 ? "binpatch" : "cabview");
        binpatch = click % 2 == 1 ? 1 - binpatch : binpatch;
        cabview = click % 2 == 0 ? (cabview == 1024 ? 1280 : 1024) : cabview;
        const std::string rows = std::string(binpatch == 1 ? "BinPatch 1: aktiviert [Deaktivieren]\n" : "BinPatch 0: deaktiviert [Aktivieren]\n")
                                 + (cabview == 1280 ? "Cabview 1280: 1280x1024 [1024 x 768]\n" : "Cabview 1024: 1024x768 [1280 x 1024]\n");
        const std::string answer = console.readUntilRows();
        ASSERT_TRUE(answer.rfind("[Aktion ausgefuehrt] ", 0) == 0 && answer.find('\n') + 1 + rows.size() == answer.size()
                    && answer.find(rows) != std::string::npos) << "click " << click << ": " << answer;
        ASSERT_LE(console.openDescriptors(), descriptorsAtStart) << "click " << click;
    }
    EXPECT_EQ(console.finish(), 0);
    EXPECT_EQ(stateFileBytes(), std::to_string(binpatch) + "\r\n" + std::to_string(cabview));
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
