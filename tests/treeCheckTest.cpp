#include "fileIO.h"
#include "scratchTree.h"
#include "treeCheck.h"

#include <gtest/gtest.h>

namespace {

const std::string kTrainsets = "../../trains/trainset/";
using Lines = std::vector<std::string>;

class TreeCheckTest : public testing::Test {
protected:
    // The live files as clicks to BinPatch on at 1280x1024 left them.
    void SetUp() override
    {
        tree.createContent();
        ASSERT_EQ(handleEngfilesBin(1280), 1);
        ASSERT_EQ(handleCabfiles1280(), 1);
    }
    void write(const std::string& tablePath, const std::string& content) const
    {
        writeWholeFile(tree.find(tablePath), content);
    }
    // The report, after checking that the check changed nothing.
    Lines report(int32_t binpatch, int32_t cabview) const
    {
        const Snapshot before = snapshot(tree.root());
        const TreeCheck check = checkLiveTree(binpatch, cabview);
        EXPECT_EQ(snapshot(tree.root()), before);
        const Lines lines = checkReport(check);
        EXPECT_EQ(check.inOrder(), lines.size() == 2 && lines[0].find("246 von 246") != std::string::npos
                                       && lines[1].find("18 von 18") != std::string::npos);
        return lines;
    }

    ScratchTree tree;
};

TEST_F(TreeCheckTest, TreeInOrderAfterTheClicks)
{
    EXPECT_EQ(report(1, 1280), (Lines{"BinPatch 1: 246 von 246 Dateien stimmen", "Cabview 1280: 18 von 18 Dateien stimmen"}));
    // The other settings' batches were not run: their sources differ from what is live.
    EXPECT_EQ(report(0, 1024).size(), 2u + 248 + 18);
}

TEST_F(TreeCheckTest, NamesEveryStepOutOfOrderInRunOrder)
{
    const std::string engine = kTrainsets + "ZEK_BR927_ki/ZEK_BR_927-ki-k.eng";
    std::string sameLength = tree.read(engine);
    sameLength.back() ^= 1;
    write(engine, sameLength);
    write(kTrainsets + "ZEK_BR927_prototyp/927-k.s", tree.read(kTrainsets + "ZEK_BR927_prototyp/927-k.s") + "x");
    tree.remove(kTrainsets + "ZEK_BR927_ICE1_M_KI/BinPatch/ZEK_BR401_rv_KI.eng");
    tree.remove(kTrainsets + "ZEK_BR927_serie1/Cabview/night/927_left1024.ace");
    // Compared through the case the tables do not use on disk: serie2's CABVIEW.
    write(kTrainsets + "ZEK_BR927_serie2/Cabview/927_right1024.ace", "changed by hand");

    EXPECT_EQ(report(1, 1280), (Lines{
                                   "BinPatch 1: 243 von 246 Dateien stimmen",
                                   "Cabview 1280: 16 von 18 Dateien stimmen",
                                   "Abweichend: " + kTrainsets + "ZEK_BR927_prototyp/927-k.s",
                                   "Abweichend: " + engine,
                                   "Quelle fehlt: " + kTrainsets + "ZEK_BR927_ICE1_M_KI/BinPatch/ZEK_BR401_rv_KI.eng",
                                   "Fehlt: " + kTrainsets + "ZEK_BR927_serie1/Cabview/night/927_left1024.ace",
                                   "Abweichend: " + kTrainsets + "ZEK_BR927_serie2/Cabview/927_right1024.ace",
                               }));
}

TEST_F(TreeCheckTest, ValuesOutsideTheirPairCompareNothingForThatSetting)
{
    const struct {
        int32_t binpatch;
        int32_t cabview;
        Lines lines;
    } cases[] = {
        {7, 1280, {"BinPatch 7: kein gueltiger Wert", "Cabview 1280: 18 von 18 Dateien stimmen"}},
        // The BinPatch batch runs none of its steps that depend on the cab view.
        {1, 800, {"BinPatch 1: 240 von 240 Dateien stimmen", "Cabview 800: kein gueltiger Wert"}},
        {2, 128, {"BinPatch 2: kein gueltiger Wert", "Cabview 128: kein gueltiger Wert"}},
    };
    for (const auto& c : cases) {
        const TreeCheck check = checkLiveTree(c.binpatch, c.cabview);
        EXPECT_EQ(checkReport(check), c.lines);
        EXPECT_FALSE(check.inOrder());
    }
}

} // namespace
