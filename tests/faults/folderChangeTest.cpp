// Folders that change between and during batches, on a tree whose every name is stored in a
// different letter case from the tables, so that every step goes through the lookup that
// ignores case (and through the listings and folders it keeps from the first batch).

#include "faultHelpers.h"
#include "fileIO.h"

#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {

const std::string kTrainsets = "../../trains/trainset/";

class ChangingFolders : public testing::Test {
protected:
    void SetUp() override
    {
        ContentTreeOptions options;
        options.spelling = swappedCase;
        tree.createContent(options);
        // The first run reads and keeps the listing of every folder on the way.
        ASSERT_EQ(handleEngfilesBin(1024), 1);
        ASSERT_EQ(handleCabfiles1280(), 1);
    }

    std::string trainsets() const { return tree.root() + "/TRAINS/TRAINSET/"; }

    // Runs the batch; the first failing step (if any) calls the hook once, mid-batch.
    int32_t runWithHook(Batch batch, int32_t cabview, const std::function<void()>& hook = {})
    {
        bool called = false;
        setCopyFailureObserver([&](const std::string&, const std::string&) {
            if (hook && !called) {
                called = true;
                hook();
            }
        });
        const int32_t result = runBatch(batch, cabview);
        setCopyFailureObserver(nullptr);
        EXPECT_TRUE(!hook || called) << "the hook never ran";
        return result;
    }

    ScratchTree tree;
};

TEST_F(ChangingFolders, AFolderSpeltAsWrittenThatAppearsIsWrittenThroughInstead)
{
    // Beside serie1's live cab-view folder (stored "cABVIEW"), one spelt as the tables spell
    // it appears, with the same sub-folders but no textures: a name that exists as written is
    // used as written.
    const std::string serie1 = trainsets() + "zek_br927_SERIE1/";
    fs::create_directories(serie1 + "Cabview/night");
    fs::create_directory_symlink("../cABVIEW/1280X1024", serie1 + "Cabview/1280x1024");
    const Snapshot old = snapshot(serie1 + "cABVIEW");

    EXPECT_EQ(handleCabfiles1280(), 1);
    EXPECT_EQ(snapshot(serie1 + "cABVIEW"), old) << "a kept folder sent a copy into the old one";
    EXPECT_EQ(readWholeFile(serie1 + "Cabview/927_left1024.ace"),
              sourceContent(kTrainsets + "ZEK_BR927_serie1/Cabview/1280x1024/927_left1024.ace"));
    EXPECT_EQ(readWholeFile(serie1 + "Cabview/night/927_left1024.ace"),
              sourceContent(kTrainsets + "ZEK_BR927_serie1/Cabview/1280x1024/night/927_left1024.ace"));
}

TEST_F(ChangingFolders, ACaseVariantThatAppearsIsWrittenInsteadOfANewFile)
{
    // The live engine file goes away and comes back in another spelling; the batch must
    // write that file, not create one in the table's spelling beside it.
    const std::string ki = trainsets() + "zek_br927_KI/";
    fs::remove(ki + "zek_br_927-KI-K.ENG");
    writeWholeFile(ki + "Zek_Br_927-Ki-K.eng", "new spelling\n");

    EXPECT_EQ(handleEngfilesNoBin(1024), 1);
    EXPECT_FALSE(fs::exists(ki + "ZEK_BR_927-ki-k.eng"));
    EXPECT_FALSE(fs::exists(ki + "zek_br_927-KI-K.ENG"));
    EXPECT_EQ(readWholeFile(ki + "Zek_Br_927-Ki-K.eng"),
              sourceContent(kTrainsets + "ZEK_BR927_ki/noBinPatch/ZEK_BR_927-ki-k.eng"));
}

TEST_F(ChangingFolders, AFolderCreatedAfterAFailedBatchIsFoundByTheNext)
{
    const std::string serie2 = trainsets() + "zek_br927_SERIE2/cabview/";
    fs::rename(serie2 + "NIGHT", serie2 + "gone");
    EXPECT_EQ(handleCabfiles1024(), -1); // the three night steps of serie2 find no folder

    fs::create_directory(serie2 + "Night");
    EXPECT_EQ(handleCabfiles1024(), 1);
    EXPECT_EQ(readWholeFile(serie2 + "Night/927_front1024.ace"), readWholeFile(serie2 + "1024X768/NIGHT/927_FRONT1024.ACE"));
}

TEST_F(ChangingFolders, ChangesMadeDuringABatchAreSeenByItsLaterSteps)
{
    // The first step fails (its source is gone); by then the listings of every folder are
    // kept from the first run. Its failure renames, replaces and creates folders and files
    // that later steps of the same batch pass through.
    const std::string ki = trainsets() + "zek_br927_KI/";
    const std::string serie2 = trainsets() + "zek_br927_SERIE2/";
    const CopyStep first = stepsToRun(Batch::EngfilesBin, 1280).front();
    fs::remove(tree.find(first.source));

    const std::string kiEngine = "zek_br_927-KI-K.ENG";
    const std::string serie2Engine = swappedCase("ZEK_BR_927-s2-k.eng");
    runWithHook(Batch::EngfilesBin, 1280, [&] {
        // A live file of ki moves aside and reappears in another spelling.
        fs::rename(ki + kiEngine, ki + "aside.eng");
        writeWholeFile(ki + "aside.eng", "aside\n");
        writeWholeFile(ki + "ZeK_bR_927-kI-k.EnG", "respelt\n");
        // serie2's BinPatch folder is replaced by one spelt otherwise, holding other bytes.
        fs::rename(serie2 + "bINpATCH", serie2 + "oldBinPatch");
        fs::create_directory(serie2 + "BINPATCH");
        writeWholeFile(serie2 + "BINPATCH/" + serie2Engine, "replacement source\n");
    });
    EXPECT_EQ(readWholeFile(ki + "aside.eng"), "aside\n") << "the file moved aside was written after the change";
    EXPECT_EQ(readWholeFile(ki + "ZeK_bR_927-kI-k.EnG"),
              sourceContent(kTrainsets + "ZEK_BR927_ki/BinPatch/ZEK_BR_927-ki-k.eng"));
    EXPECT_FALSE(fs::exists(ki + "ZEK_BR_927-ki-k.eng")) << "a new file was created beside the variant";
    EXPECT_EQ(readWholeFile(serie2 + serie2Engine), "replacement source\n") << "read from the old folder";
}

} // namespace
