#include "controller.h"
#include "stateFile.h"
#include "scratchTree.h"

#include <gtest/gtest.h>

#include <future>
#include <thread>

namespace fs = std::filesystem;

namespace {

const std::string kTrainsets = "../../trains/trainset/";
const std::string kFailed = "[Fehler] Fehler beim Verarbeiten von mindestens einer Datei!";
const std::string kRefused = "[Meldung] Fehler";

using Events = std::vector<std::string>;

// Records what the controller asks of its front end, in order.
class RecordingFrontEnd : public FrontEnd {
public:
    void showMessage(const char* text, const char* title) override { events.push_back(std::string("[") + title + "] " + text); }
    void setButtonCaption(Button button, const char* text) override
    {
        events.push_back(std::string(button == Button::BinPatch ? "BinPatch" : "Cabview") + " caption " + text);
    }
    void requestRepaint() override { events.push_back("repaint"); }
    void endProgram() override { events.push_back("end"); }
    Events events;
};

// "<value> <indicator> [<caption>]" of both settings, as the window shows them.
std::string shown(const Controller& controller)
{
    const char* indicators[] = {"on", "off", "1024", "1280"};
    return std::to_string(controller.value(Button::BinPatch)) + " " + indicators[static_cast<int>(controller.getBinPatchIndicator())]
           + " [" + controller.getBinPatchCaption() + "], " + std::to_string(controller.value(Button::Cabview)) + " "
           + indicators[static_cast<int>(controller.getCabviewIndicator())] + " [" + controller.getCabviewCaption() + "]";
}

// Clicks one after the other on one tree, each after a change behind the tool's back.
TEST(Controller, ClickRewritesTheFileRunsItsBatchThenShowsMessageRepaintAndCaption)
{
    ScratchTree tree;
    tree.createContent();
    RecordingFrontEnd frontEnd;
    Controller controller(frontEnd);
    const auto stateFile = [](const char* bytes) { return [bytes] { writeStateFile(bytes); }; };
    const std::function<void()> nothing = [] {};
    const struct {
        const char* what;
        std::function<void()> before;
        Button button;
        bool succeeds;
        Events events;
        std::string file;
        std::string shown;
        std::string live;    // a file that the batch wrote, or that a refusal left alone
        std::string content; // ... and what it holds
    } clicks[] = {
        {"BinPatch on at 1024", nothing, Button::BinPatch, true,
         {"[Aktion ausgefuehrt] BinPatch-Konfiguration erflgreich aktiviert", "repaint", "BinPatch caption Deaktivieren"},
         "1\r\n1024", "1 on [Deaktivieren], 1024 1024 [1280 x 1024]",
         "ZEK_BR927_serie1/CABVIEW/927_front1024.ace", "ZEK_BR927_serie1/BinPatch/Cabview/1024x768/927_front1024.ace\n"},
        {"first line edited by hand: written back as found", stateFile("0\r\n1024"), Button::Cabview, true,
         {"[Aktion ausgefuehrt] Cabview-Aufloesung erfolgreich auf 1280x1024 umgestellt", "repaint", "Cabview caption 1024 x 768"},
         "0\r\n1280", "1 on [Deaktivieren], 1280 1280 [1024 x 768]",
         "ZEK_BR927_serie2/Cabview/927_left1024.ace", "ZEK_BR927_serie2/Cabview/1280x1024/927_left1024.ace\n"},
        {"second line changed meanwhile: the batch takes the value it writes back", stateFile("1\r\n1024"), Button::BinPatch, true,
         {"[Aktion ausgefuehrt] BinPatch-Konfiguration erflgreich deaktiviert", "repaint", "BinPatch caption Aktivieren"},
         "0\r\n1024", "0 off [Aktivieren], 1280 1280 [1024 x 768]",
         "ZEK_BR927_prototyp/CABVIEW/927_front1024.ace", "ZEK_BR927_prototyp/noBinPatch/Cabview/1024x768/927_front1024.ace\n"},
        {"file vanished: BinPatch written from memory", [] { fs::remove("br927.zekconfig"); }, Button::Cabview, true,
         {"[Aktion ausgefuehrt] Cabview-Aufloesung erfolgreich auf 1024x768 umgestellt", "repaint", "Cabview caption 1280 x 1024"},
         "0\r\n1024", "0 off [Aktivieren], 1024 1024 [1280 x 1024]",
         "ZEK_BR927_serie1/Cabview/night/927_left1024.ace", "ZEK_BR927_serie1/Cabview/1024x768/night/927_left1024.ace\n"},
        {"file vanished: cab view written from memory", [] { fs::remove("br927.zekconfig"); }, Button::BinPatch, true,
         {"[Aktion ausgefuehrt] BinPatch-Konfiguration erflgreich aktiviert", "repaint", "BinPatch caption Deaktivieren"},
         "1\r\n1024", "1 on [Deaktivieren], 1024 1024 [1280 x 1024]", "ZEK_BR927_ki/ZEK_BR_927-ki-k.eng",
         "ZEK_BR927_ki/BinPatch/ZEK_BR_927-ki-k.eng\n"},
        {"a source missing: failure, the setting flips all the same",
         [&] { tree.remove(kTrainsets + "ZEK_BR927_serie1/Cabview/1280x1024/927_right1024.ace"); }, Button::Cabview, false,
         {kFailed,
          "[Fehler] Nicht kopiert: 1 Datei, zuerst ../../trains/trainset/ZEK_BR927_serie1/Cabview/927_right1024.ace (Quelle fehlt)",
          "repaint", "Cabview caption 1024 x 768"},
         "1\r\n1280", "1 on [Deaktivieren], 1280 1280 [1024 x 768]",
         "ZEK_BR927_serie2/Cabview/927_left1024.ace", "ZEK_BR927_serie2/Cabview/1280x1024/927_left1024.ace\n"},
        {"file cannot be written: the click does not begin, nothing changes",
         [] { fs::remove("br927.zekconfig"); fs::create_directory("br927.zekconfig"); }, Button::BinPatch, false,
         {kFailed, "[Fehler] Nicht gespeichert: br927.zekconfig (keine Datei)"},
         "<folder>", "1 on [Deaktivieren], 1280 1280 [1024 x 768]",
         "ZEK_BR927_ki/ZEK_BR_927-ki-k.eng", "ZEK_BR927_ki/BinPatch/ZEK_BR_927-ki-k.eng\n"},
        {"BinPatch outside its pair: refused, nothing changes",
         [&] { fs::remove("br927.zekconfig"); writeStateFile("7\r\n800"); controller.loadStates(); }, Button::BinPatch,
         false, {kRefused}, "7\r\n800", "7 off [Aktivieren], 800 1280 [1024 x 768]",
         "ZEK_BR927_ki/ZEK_BR_927-ki-k.eng", "ZEK_BR927_ki/BinPatch/ZEK_BR_927-ki-k.eng\n"},
        {"cab view outside its pair: refused, nothing changes", nothing, Button::Cabview, false, {kRefused},
         "7\r\n800", "7 off [Aktivieren], 800 1280 [1024 x 768]",
         "ZEK_BR927_serie2/Cabview/927_left1024.ace", "ZEK_BR927_serie2/Cabview/1280x1024/927_left1024.ace\n"},
    };
    writeStateFile("0\r\n1024");
    ASSERT_TRUE(controller.loadStates());
    for (const auto& click : clicks) {
        SCOPED_TRACE(click.what);
        click.before();
        frontEnd.events.clear();
        EXPECT_EQ(controller.toggle(click.button), click.succeeds);
        EXPECT_EQ(frontEnd.events, click.events);
        EXPECT_EQ(stateFileBytes(), click.file);
        EXPECT_EQ(shown(controller), click.shown);
        EXPECT_EQ(tree.read(kTrainsets + click.live), click.content);
    }
}

// Another click that keeps the lock past the patience of this one: this one gives up, tells
// why, and changes nothing; once the other has ended, a click runs as usual.
TEST(Controller, AClickThatAnotherKeepsWaitingPastItsPatienceGivesUpChangingNothing)
{
    ScratchTree tree;
    tree.createContent();
    writeStateFile("0\r\n1024");
    RecordingFrontEnd frontEnd;
    Controller controller(frontEnd, 200);
    ASSERT_TRUE(controller.loadStates());
    const Snapshot before = tree.now();
    std::promise<void> held;
    std::promise<void> done;
    std::thread otherClick([&] {
        const ClickLock lock;
        held.set_value();
        done.get_future().wait();
    });
    held.get_future().wait();
    EXPECT_FALSE(controller.toggle(Button::BinPatch));
    done.set_value();
    otherClick.join();
    EXPECT_EQ(frontEnd.events, Events{"[Fehler] Eine andere Umschaltung laeuft noch. Nichts wurde geaendert."});
    EXPECT_EQ(shown(controller), "0 off [Aktivieren], 1024 1024 [1280 x 1024]");
    expectSameTree(tree.now(), before);
    EXPECT_TRUE(controller.toggle(Button::BinPatch));
}

} // namespace
