// The state file failing between start-up and a click, through the controller: a file that
// has vanished is written anew with the setting held in memory, and one that cannot be
// written makes the click report failure while its batch still runs and the setting flips.

#include "controller.h"
#include "faultHelpers.h"
#include "fileIO.h"

#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {

const std::string kTrainsets = "../../trains/trainset/";
const std::string kFailed = "[Fehler] Fehler beim Verarbeiten von mindestens einer Datei!";
const std::string kActivated = "[Aktion ausgefuehrt] BinPatch-Konfiguration erflgreich aktiviert";
const std::string kTo1024 = "[Aktion ausgefuehrt] Cabview-Aufloesung erfolgreich auf 1024x768 umgestellt";

class MessageLog : public FrontEnd {
public:
    void showMessage(const char* text, const char* title) override
    {
        messages.push_back(std::string("[") + title + "] " + text);
    }
    void setButtonCaption(Button, const char* text) override { captions.push_back(text); }
    void requestRepaint() override {}
    void endProgram() override { ended = true; }

    std::vector<std::string> messages;
    std::vector<std::string> captions;
    bool ended = false;
};

class StateFileFaults : public testing::Test {
protected:
    void SetUp() override
    {
        tree.createContent();
        writeStateFile("0\r\n1280");
        controller.loadStates();
        ASSERT_TRUE(log.messages.empty());
    }

    // The live files that show which batch ran.
    std::string liveEngine() const { return tree.read(kTrainsets + "ZEK_BR927_ki/ZEK_BR_927-ki-k.eng"); }
    std::string liveLeftTexture() const { return tree.read(kTrainsets + "ZEK_BR927_serie1/Cabview/927_left1024.ace"); }

    ScratchTree tree;
    MessageLog log;
    Controller controller{log};
};

TEST_F(StateFileFaults, VanishedBeforeEitherClickIsWrittenWithTheOtherSettingInMemory)
{
    fs::remove("br927.zekconfig");
    controller.toggleBinPatch();
    EXPECT_EQ(stateFileBytes(), "1\r\n1280"); // 1280 from memory, not the -1 of the failed read
    fs::remove("br927.zekconfig");
    controller.toggleCabview();
    EXPECT_EQ(stateFileBytes(), "1\r\n1024"); // 1 from memory
    EXPECT_EQ(log.messages, (std::vector<std::string>{kActivated, kTo1024}));
    EXPECT_EQ(liveEngine(), "ZEK_BR927_ki/BinPatch/ZEK_BR_927-ki-k.eng\n");
    EXPECT_EQ(liveLeftTexture(), "ZEK_BR927_serie1/Cabview/1024x768/927_left1024.ace\n");
    // The file reads back as the settings now held.
    EXPECT_EQ(getBinPatchState(), 1);
    EXPECT_EQ(getCabviewState(), 1024);
}

// Each way the file can become unwritable between load and click; the click runs its batch,
// flips the setting and its caption, and reports failure because nothing was recorded.
enum class Unwritable { Immutable, FolderInItsPlace, ProcessWithoutRoot };

class UnwritableStateFile : public StateFileFaults, public testing::WithParamInterface<Unwritable> {};

TEST_P(UnwritableStateFile, ClickRunsItsBatchButReportsFailure)
{
    std::unique_ptr<ImmutableFile> lock;
    std::string before = stateFileBytes();
    switch (GetParam()) {
    case Unwritable::Immutable:
        lock = std::make_unique<ImmutableFile>("br927.zekconfig");
        if (!lock->held())
            GTEST_SKIP() << "chattr +i is not available here";
        break;
    case Unwritable::FolderInItsPlace:
        fs::remove("br927.zekconfig");
        fs::create_directory("br927.zekconfig");
        before = "<folder>";
        break;
    case Unwritable::ProcessWithoutRoot: {
        if (::geteuid() != 0)
            GTEST_SKIP() << "needs root to give up";
        // The child clicks; only the state file (and the folder it lies in) stays root's.
        for (const auto& entry : fs::recursive_directory_iterator(tree.root() + "/trains")) {
            if (entry.is_directory())
                fs::permissions(entry.path(), fs::perms(0777));
            else
                fs::permissions(entry.path(), fs::perms(0666));
        }
        const std::string seen = runWithoutRoot([this] {
            controller.toggleBinPatch();
            std::string out = std::to_string(controller.binPatchValue()) + "\n";
            for (const std::string& message : log.messages)
                out += message + "\n";
            return out + log.captions.back() + "\n";
        });
        if (seen == "<none>")
            GTEST_SKIP() << "could not give up root";
        EXPECT_EQ(seen, "1\n" + kFailed + "\nDeaktivieren\n");
        EXPECT_EQ(stateFileBytes(), before);
        EXPECT_EQ(liveEngine(), "ZEK_BR927_ki/BinPatch/ZEK_BR_927-ki-k.eng\n");
        return;
    }
    }
    controller.toggleBinPatch();
    EXPECT_EQ(log.messages, std::vector<std::string>{kFailed});
    EXPECT_EQ(controller.binPatchValue(), 1);
    EXPECT_EQ(log.captions, std::vector<std::string>{"Deaktivieren"});
    EXPECT_EQ(liveEngine(), "ZEK_BR927_ki/BinPatch/ZEK_BR_927-ki-k.eng\n");
    EXPECT_EQ(fs::is_directory("br927.zekconfig") ? "<folder>" : stateFileBytes(), before);

    // The next click still works against the file as it now is, and again says so.
    controller.toggleCabview();
    EXPECT_EQ(log.messages.back(), kFailed);
    EXPECT_EQ(controller.cabviewValue(), 1024);
    EXPECT_EQ(liveLeftTexture(), "ZEK_BR927_serie1/Cabview/1024x768/927_left1024.ace\n");
}

INSTANTIATE_TEST_SUITE_P(Ways, UnwritableStateFile,
                         testing::Values(Unwritable::Immutable, Unwritable::FolderInItsPlace,
                                         Unwritable::ProcessWithoutRoot),
                         [](const auto& param) {
                             switch (param.param) {
                             case Unwritable::Immutable: return "Immutable";
                             case Unwritable::FolderInItsPlace: return "FolderInItsPlace";
                             case Unwritable::ProcessWithoutRoot: return "ProcessWithoutRoot";
                             }
                             return "";
                         });

} // namespace
