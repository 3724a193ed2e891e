#include "fileIO.h"
#include "scratchTree.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

namespace fs = std::filesystem;

namespace {

const std::string kTrainsets = "../../trains/trainset/";

// The paths whose content differs; the set of paths must not change at all.
std::vector<std::string> changedFiles(const Snapshot& before, const Snapshot& after)
{
    std::vector<std::string> changed;
    EXPECT_EQ(before.size(), after.size()) << "files or folders were created or removed";
    for (const auto& [path, content] : after) {
        const auto old = before.find(path);
        EXPECT_NE(old, before.end()) << "new: " << path;
        if (old != before.end() && old->second != content)
            changed.push_back(path);
    }
    return changed;
}

// After a run of the batch with every step succeeding: each step that ran left its target
// holding its source's bytes, and nothing else changed.
void expectExactlyCopied(const ScratchTree& tree, Batch batch, int32_t cabview, const Snapshot& before)
{
    const std::vector<CopyStep> steps = stepsToRun(batch, cabview);
    EXPECT_EQ(changedFiles(before, snapshot(tree.root())).size(), steps.size());
    for (const CopyStep& step : steps)
        EXPECT_EQ(tree.read(step.target), sourceContent(step.source)) << step.target;
}

std::vector<std::string> failuresOf(const std::function<int32_t()>& batch, int32_t expectedResult)
{
    std::vector<std::string> failed;
    setCopyFailureObserver([&](const std::string& source, const std::string&) { failed.push_back(source); });
    EXPECT_EQ(batch(), expectedResult);
    setCopyFailureObserver(nullptr);
    return failed;
}

class Batches : public testing::Test {
protected:
    void SetUp() override { tree.createContent(); }
    Snapshot now() const { return snapshot(tree.root()); }
    void expectExactlyCopied(Batch batch, int32_t cabview, const Snapshot& before) const
    {
        ::expectExactlyCopied(tree, batch, cabview, before);
    }

    ScratchTree tree;
};

TEST_F(Batches, CabviewBatchesCopyAllEighteenTexturesThroughEitherSpelling)
{
    // ZEK_BR927_serie2 keeps its live folder as CABVIEW; the table writes Cabview.
    ASSERT_TRUE(fs::is_directory(tree.root() + "/trains/trainset/ZEK_BR927_serie2/CABVIEW"));
    Snapshot before = now();
    EXPECT_EQ(handleCabfiles1280(), 1);
    expectExactlyCopied(Batch::Cabfiles1280, 0, before);

    before = now();
    EXPECT_EQ(handleCabfiles1024(), 1);
    expectExactlyCopied(Batch::Cabfiles1024, 0, before);
    EXPECT_EQ(tree.read(kTrainsets + "ZEK_BR927_serie2/Cabview/night/927_right1024.ace"),
              "ZEK_BR927_serie2/Cabview/1024x768/night/927_right1024.ace\n");
}

TEST(BatchesOnFreshTrees, ActivationCopiesEveryBinPatchFileAndTheFrontForTheResolution)
{
    for (const int32_t cabview : {1024, 1280}) {
        ScratchTree tree;
        tree.createContent();
        const Snapshot before = snapshot(tree.root());
        EXPECT_EQ(handleEngfilesBin(cabview), 1);
        expectExactlyCopied(tree, Batch::EngfilesBin, cabview, before);
        const std::string resolution = cabview == 1024 ? "1024x768" : "1280x1024";
        for (const char* trainset : {"ZEK_BR927_prototyp", "ZEK_BR927_serie1", "ZEK_BR927_serie2"}) {
            EXPECT_EQ(tree.read(kTrainsets + trainset + "/Cabview/night/927_front1024.ace"),
                      std::string(trainset) + "/BinPatch/Cabview/" + resolution + "/night/927_front1024.ace\n");
        }
    }
}

TEST_F(Batches, DeactivationAlsoRestoresTheSonderPairOfSerie1)
{
    const std::string sonder = kTrainsets + "ZEK_BR927_serie1/ZEK_BR_927-sonder-k.eng";
    const Snapshot before = now();
    EXPECT_EQ(handleEngfilesBin(1024), 1);
    EXPECT_EQ(tree.read(sonder), liveContent(sonder));

    EXPECT_EQ(handleEngfilesNoBin(1024), 1);
    EXPECT_EQ(tree.read(sonder), "ZEK_BR927_serie1/noBinPatch/ZEK_BR_927-sonder-k.eng\n");
    expectExactlyCopied(Batch::EngfilesNoBin, 1024, before);
}

TEST(BatchesOnFreshTrees, AnOtherResolutionRefreshesBothFoldersButLeavesTheLiveFront)
{
    const std::string liveFront = kTrainsets + "ZEK_BR927_prototyp/CABVIEW/927_front1024.ace";
    for (const int32_t cabview : {0, 800, -1}) {
        ScratchTree tree;
        tree.createContent();
        const Snapshot before = snapshot(tree.root());
        const std::string original = tree.read(liveFront);
        EXPECT_EQ(handleEngfilesNoBin(cabview), 1);
        expectExactlyCopied(tree, Batch::EngfilesNoBin, cabview, before);
        EXPECT_EQ(tree.read(liveFront), original);
        EXPECT_EQ(tree.read(kTrainsets + "ZEK_BR927_prototyp/CABVIEW/1280x1024/927_front1024.ace"),
                  "ZEK_BR927_prototyp/noBinPatch/Cabview/1280x1024/927_front1024.ace\n");
    }
}

TEST_F(Batches, AMissingResolutionFolderFailsItsSixStepsAndTheRestRuns)
{
    tree.remove(kTrainsets + "ZEK_BR927_prototyp/Cabview/1024x768");
    const Snapshot before = now();
    EXPECT_EQ(failuresOf(handleCabfiles1024, -1).size(), 6u);
    EXPECT_EQ(changedFiles(before, now()).size(), 12u);
}

TEST_F(Batches, AMissingVariantFolderFailsThatTrainsetOnly)
{
    tree.remove(kTrainsets + "ZEK_BR927_ICE2_KI/BinPatch");
    const Snapshot before = now();
    EXPECT_EQ(failuresOf([] { return handleEngfilesBin(1280); }, -1).size(), 8u);
    EXPECT_EQ(changedFiles(before, now()).size(), 246u - 8u);
}

TEST_F(Batches, RepeatingABatchChangesNothingMore)
{
    EXPECT_EQ(handleEngfilesBin(1280), 1);
    const Snapshot once = now();
    EXPECT_EQ(handleEngfilesBin(1280), 1);
    EXPECT_EQ(now(), once);
}

TEST_F(Batches, BothSwitchesComposeToTheVariantOfBothSettings)
{
    const std::string liveFront = kTrainsets + "ZEK_BR927_serie1/Cabview/927_front1024.ace";
    const std::string liveLeft = kTrainsets + "ZEK_BR927_serie1/Cabview/927_left1024.ace";
    ASSERT_EQ(handleEngfilesBin(1024), 1);
    ASSERT_EQ(handleCabfiles1280(), 1);
    EXPECT_EQ(tree.read(liveFront), "ZEK_BR927_serie1/BinPatch/Cabview/1280x1024/927_front1024.ace\n");
    EXPECT_EQ(tree.read(liveLeft), "ZEK_BR927_serie1/Cabview/1280x1024/927_left1024.ace\n");
    ASSERT_EQ(handleEngfilesNoBin(1280), 1);
    ASSERT_EQ(handleCabfiles1024(), 1);
    EXPECT_EQ(tree.read(liveFront), "ZEK_BR927_serie1/noBinPatch/Cabview/1024x768/927_front1024.ace\n");
    EXPECT_EQ(tree.read(liveLeft), "ZEK_BR927_serie1/Cabview/1024x768/927_left1024.ace\n");
}

} // namespace
