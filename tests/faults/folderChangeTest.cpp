// Folders that change between and during batches, on a tree whose every name is stored in
// another letter case than the tables', so that every step goes through the lookup that
// ignores case, and through the listings and folders it keeps from the batches before.

#include "fileIO.h"
#include "scratchTree.h"

#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {

const std::string kTrainsets = "../../trains/trainset/";

TEST(ChangingFolders, EveryChangeToAKeptFolderIsSeenByTheNextLookup)
{
    ScratchTree tree;
    ContentTreeOptions options;
    options.spelling = swappedCase;
    tree.createContent(options);
    ASSERT_EQ(handleEngfilesBin(1024), 1); // reads and keeps the listing of every folder on the way
    ASSERT_EQ(handleCabfiles1280(), 1);
    const std::string trainsets = tree.root() + "/TRAINS/TRAINSET/";
    const auto source = [](const std::string& path) { return sourceContent(kTrainsets + path); };

    // Beside serie1's live cab-view folder (stored "cABVIEW") one spelt as the tables spell it
    // appears, without textures: a name that exists as written is taken as written.
    const std::string serie1 = trainsets + "zek_br927_SERIE1/";
    fs::create_directories(serie1 + "Cabview/night");
    fs::create_directory_symlink("../cABVIEW/1280X1024", serie1 + "Cabview/1280x1024");
    const Snapshot old = snapshot(serie1 + "cABVIEW");
    EXPECT_EQ(handleCabfiles1280(), 1);
    EXPECT_EQ(snapshot(serie1 + "cABVIEW"), old) << "a kept folder sent a copy into the old one";
    EXPECT_EQ(readWholeFile(serie1 + "Cabview/night/927_left1024.ace"),
              source("ZEK_BR927_serie1/Cabview/1280x1024/night/927_left1024.ace"));
    fs::remove_all(serie1 + "Cabview");

    // A live file that comes back in another spelling is written, not joined by a new one.
    const std::string ki = trainsets + "zek_br927_KI/";
    fs::remove(ki + "zek_br_927-KI-K.ENG");
    writeWholeFile(ki + "zek_br_927-ki-K.eng", "new spelling\n");
    EXPECT_EQ(handleEngfilesNoBin(1024), 1);
    EXPECT_FALSE(fs::exists(ki + "zek_br_927-KI-K.ENG") || fs::exists(ki + "ZEK_BR_927-ki-k.eng"));
    EXPECT_EQ(readWholeFile(ki + "zek_br_927-ki-K.eng"), source("ZEK_BR927_ki/noBinPatch/ZEK_BR_927-ki-k.eng"));

    // A folder that went away is missed; one that comes in its place under another name is found.
    const std::string serie2 = trainsets + "zek_br927_SERIE2/cabview/";
    fs::rename(serie2 + "NIGHT", serie2 + "gone");
    EXPECT_EQ(handleCabfiles1024(), -1);
    fs::create_directory(serie2 + "Night");
    EXPECT_EQ(handleCabfiles1024(), 1);
    EXPECT_EQ(readWholeFile(serie2 + "Night/927_front1024.ace"), readWholeFile(serie2 + "1024X768/NIGHT/927_FRONT1024.ACE"));

    // Changes made while a batch runs (at its first step, which fails) are seen by its later
    // steps: a live file moved aside and respelt, a variant folder replaced by another spelling.
    const CopyStep first = stepsToRun(Batch::EngfilesBin, 1280).front();
    fs::remove(tree.find(first.source));
    const std::string serie2Engine = swappedCase("ZEK_BR_927-s2-k.eng");
    const std::string serie2Folder = trainsets + "zek_br927_SERIE2/";
    bool changed = false;
    setCopyFailureObserver([&](const std::string&, const std::string&) {
        if (std::exchange(changed, true))
            return;
        fs::rename(ki + "zek_br_927-ki-K.eng", ki + "aside.eng");
        writeWholeFile(ki + "zek_br_927-ki-k.eng", "respelt\n");
        fs::rename(serie2Folder + "bINpATCH", serie2Folder + "oldBinPatch");
        fs::create_directory(serie2Folder + "BINPATCH");
        writeWholeFile(serie2Folder + "BINPATCH/" + serie2Engine, "replacement source\n");
    });
    EXPECT_EQ(handleEngfilesBin(1280), -1);
    setCopyFailureObserver(nullptr);
    EXPECT_FALSE(fs::exists(ki + "zek_br_927-ki-K.eng")) << "written under the name it had before";
    EXPECT_EQ(readWholeFile(ki + "zek_br_927-ki-k.eng"), source("ZEK_BR927_ki/BinPatch/ZEK_BR_927-ki-k.eng"));
    EXPECT_EQ(readWholeFile(serie2Folder + serie2Engine), "replacement source\n") << "read from the old folder";
}

} // namespace
