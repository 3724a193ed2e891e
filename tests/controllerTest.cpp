#include "controller.h"
#include "fileIO.h"
#include "scratchTree.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

const std::string kTrainsets = "../../trains/trainset/";
const std::string kReadError = "[Meldung] Fehler beim Lesen der Konfigurationsdatei BR927.zekconfig.";
const std::string kBatchFailed = "[Fehler] Fehler beim Verarbeiten von mindestens einer Datei!";
const std::string kActivated = "[Aktion ausgefuehrt] BinPatch-Konfiguration erflgreich aktiviert";
const std::string kDeactivated = "[Aktion ausgefuehrt] BinPatch-Konfiguration erflgreich deaktiviert";
const std::string kTo1280 = "[Aktion ausgefuehrt] Cabview-Aufloesung erfolgreich auf 1280x1024 umgestellt";
const std::string kTo1024 = "[Aktion ausgefuehrt] Cabview-Aufloesung erfolgreich auf 1024x768 umgestellt";
const std::string kUnexpected = "[Meldung] Fehler";

// Records what the controller asks of its front end, in order.
class RecordingFrontEnd : public FrontEnd {
public:
    void showMessage(const char* text, const char* title) override
    {
        events.push_back(std::string("[") + title + "] " + text);
    }
    void setButtonCaption(Button button, const char* text) override
    {
        events.push_back(std::string(button == Button::BinPatch ? "BinPatch" : "Cabview") + " caption " + text);
    }
    void requestRepaint() override { events.push_back("repaint"); }
    void endProgram() override { events.push_back("end"); }

    // The events since the last call.
    std::vector<std::string> take() { return std::exchange(events, {}); }

    std::vector<std::string> events;
};

using Events = std::vector<std::string>;

class ControllerTest : public testing::Test {
protected:
    void SetUp() override { tree.createContent(); }

    void start(const std::string& stateFile)
    {
        writeStateFile(stateFile);
        controller.loadStates();
    }

    std::string live(const std::string& path) const { return tree.read(kTrainsets + path); }

    ScratchTree tree;
    RecordingFrontEnd frontEnd;
    Controller controller{frontEnd};
};

TEST_F(ControllerTest, MissingStateFileShowsOneMessageThenEndsAndWritesNothing)
{
    controller.loadStates();
    EXPECT_EQ(frontEnd.take(), (Events{kReadError, "end"}));
    EXPECT_STREQ(controller.getBinPatchCaption(), "Aktivieren");
    EXPECT_STREQ(controller.getCabviewCaption(), "1024 x 768");
    EXPECT_EQ(controller.getBinPatchIndicator(), Indicator::BinPatchOff);
    EXPECT_EQ(controller.getCabviewIndicator(), Indicator::Cabview1280);
    EXPECT_FALSE(std::filesystem::exists("br927.zekconfig"));
}

TEST_F(ControllerTest, OneUnreadableValueIsEnoughForTheReadError)
{
    start("1\r\n");
    EXPECT_EQ(frontEnd.take(), (Events{kReadError, "end"}));
    EXPECT_EQ(controller.binPatchValue(), 1);
    EXPECT_EQ(controller.cabviewValue(), -1);
}

TEST_F(ControllerTest, ValidStartShowsNothingAndChoosesCaptionsAndIndicators)
{
    start("0\r\n1024");
    EXPECT_TRUE(frontEnd.take().empty());
    EXPECT_STREQ(controller.getBinPatchCaption(), "Aktivieren");
    EXPECT_STREQ(controller.getCabviewCaption(), "1280 x 1024");
    EXPECT_EQ(controller.getBinPatchIndicator(), Indicator::BinPatchOff);
    EXPECT_EQ(controller.getCabviewIndicator(), Indicator::Cabview1024);
}

TEST_F(ControllerTest, BinPatchClicksToggleFileBatchMessageAndCaption)
{
    start("0\r\n1024");
    controller.toggleBinPatch();
    EXPECT_EQ(frontEnd.take(), (Events{kActivated, "repaint", "BinPatch caption Deaktivieren"}));
    EXPECT_EQ(stateFileBytes(), "1\r\n1024");
    EXPECT_EQ(controller.getBinPatchIndicator(), Indicator::BinPatchOn);
    EXPECT_EQ(live("ZEK_BR927_serie1/CABVIEW/927_front1024.ace"),
              "ZEK_BR927_serie1/BinPatch/Cabview/1024x768/927_front1024.ace\n");

    controller.toggleBinPatch();
    EXPECT_EQ(frontEnd.take(), (Events{kDeactivated, "repaint", "BinPatch caption Aktivieren"}));
    EXPECT_EQ(stateFileBytes(), "0\r\n1024");
    EXPECT_EQ(live("ZEK_BR927_ki/ZEK_BR_927-ki-k.eng"), "ZEK_BR927_ki/noBinPatch/ZEK_BR_927-ki-k.eng\n");
}

TEST_F(ControllerTest, CabviewClicksToggleFileBatchMessageAndCaption)
{
    start("1\r\n1024");
    controller.toggleCabview();
    EXPECT_EQ(frontEnd.take(), (Events{kTo1280, "repaint", "Cabview caption 1024 x 768"}));
    EXPECT_EQ(stateFileBytes(), "1\r\n1280");
    EXPECT_EQ(controller.getCabviewIndicator(), Indicator::Cabview1280);
    EXPECT_EQ(live("ZEK_BR927_serie2/Cabview/927_left1024.ace"), "ZEK_BR927_serie2/Cabview/1280x1024/927_left1024.ace\n");

    controller.toggleCabview();
    EXPECT_EQ(frontEnd.take(), (Events{kTo1024, "repaint", "Cabview caption 1280 x 1024"}));
    EXPECT_EQ(stateFileBytes(), "1\r\n1024");
}

TEST_F(ControllerTest, ActivationUsesTheResolutionHeldInMemory)
{
    start("0\r\n1280");
    writeStateFile("0\r\n1024"); // edited behind the tool's back
    controller.toggleBinPatch();
    EXPECT_EQ(stateFileBytes(), "1\r\n1024");
    EXPECT_EQ(live("ZEK_BR927_prototyp/CABVIEW/927_front1024.ace"),
              "ZEK_BR927_prototyp/BinPatch/Cabview/1280x1024/927_front1024.ace\n");
}

TEST_F(ControllerTest, UnexpectedValuesAreShownAndRefusedWithoutAnyChange)
{
    start("7\r\n800");
    EXPECT_TRUE(frontEnd.take().empty());
    EXPECT_STREQ(controller.getBinPatchCaption(), "Aktivieren");
    EXPECT_STREQ(controller.getCabviewCaption(), "1024 x 768");
    EXPECT_EQ(controller.getBinPatchIndicator(), Indicator::BinPatchOff);
    EXPECT_EQ(controller.getCabviewIndicator(), Indicator::Cabview1280);
    const std::string liveEngine = live("ZEK_BR927_ki/ZEK_BR_927-ki-k.eng");

    controller.toggleBinPatch();
    controller.toggleCabview();
    EXPECT_EQ(frontEnd.take(), (Events{kUnexpected, kUnexpected}));
    EXPECT_EQ(stateFileBytes(), "7\r\n800");
    EXPECT_EQ(controller.binPatchValue(), 7);
    EXPECT_EQ(controller.cabviewValue(), 800);
    EXPECT_EQ(live("ZEK_BR927_ki/ZEK_BR_927-ki-k.eng"), liveEngine);
}

TEST_F(ControllerTest, AFailedCopyIsReportedOnceAndTheSettingFlipsAllTheSame)
{
    tree.remove(kTrainsets + "ZEK_BR927_serie1/Cabview/1280x1024/927_right1024.ace");
    start("0\r\n1024");
    controller.toggleCabview();
    EXPECT_EQ(frontEnd.take(), (Events{kBatchFailed, "repaint", "Cabview caption 1024 x 768"}));
    EXPECT_EQ(controller.cabviewValue(), 1280);
    EXPECT_EQ(stateFileBytes(), "0\r\n1280");
    controller.toggleCabview(); // the opposite batch has all its sources
    EXPECT_EQ(frontEnd.take(), (Events{kTo1024, "repaint", "Cabview caption 1280 x 1024"}));
}

TEST_F(ControllerTest, TheOtherValueIsWrittenBackAsFoundInTheFile)
{
    start("1\r\n1024");
    writeStateFile("0\r\n1024"); // first line edited by hand while the tool runs
    controller.toggleCabview();
    EXPECT_EQ(stateFileBytes(), "0\r\n1280");
    EXPECT_EQ(controller.binPatchValue(), 1);
    EXPECT_STREQ(controller.getBinPatchCaption(), "Deaktivieren");
}

} // namespace
