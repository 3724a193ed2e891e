#pragma once

#include "copyTables.h"
#include "treeCheck.h"

#include <cstdint>
#include <optional>
#include <vector>

// The two push buttons, addressed by their role; each switches its own setting.
enum class Button { BinPatch, Cabview };

// The image beside each button, naming the setting that holds.
enum class Indicator { BinPatchOn, BinPatchOff, Cabview1024, Cabview1280 };

// What a front end carries out for the controller. The controller decides; a front end only
// shows, repaints and ends.
class FrontEnd {
public:
    virtual ~FrontEnd() = default;
    // A modal message with a warning icon and one OK button; returns when it is closed.
    virtual void showMessage(const char* text, const char* title) = 0;
    virtual void setButtonCaption(Button button, const char* text) = 0;
    // Marks the whole window for repainting; the paint reads the values that hold then.
    virtual void requestRepaint() = 0;
    // Runs the destroy handling at once and returns; the program ends when control goes
    // back to its message loop.
    virtual void endProgram() = 0;
};

// What the next click on a button would do: either run a batch, or only show a message.
struct ClickPlan {
    bool runsBatch = false;
    std::vector<CopyStep> steps;     // when runsBatch
    std::vector<bool> sourcesFound;  // ... and for each step, whether its source is there now
    const char* text = nullptr;      // otherwise
    const char* title = nullptr;
};

// Holds the two settings, loads them at start and carries out the two toggle commands.
//
// Each command that writes the player's files or compares them (a click, apply, a check, and
// a start's finishing of a click cut off) holds the click lock for its whole run, so that a
// second window or script never sees half of it; a start only reads the state file, which a
// click replaces whole, and does not wait. A message that waits for the player is shown
// without the lock.
class Controller {
public:
    explicit Controller(FrontEnd& frontEnd) : frontEnd_(frontEnd) {}

    // Each tells whether it ended as it should: the start with both values read (and a click
    // cut off, which it finishes first and tells the player of, brought to its end whole), a
    // click with its success message (not the failure message, not a refusal).
    bool loadStates();
    // The start of a command that only looks: nothing is finished, nothing written.
    bool loadStatesToLook();
    bool toggleBinPatch() { return toggle(Button::BinPatch); }
    bool toggleCabview() { return toggle(Button::Cabview); }
    bool toggle(Button button);

    const char* getBinPatchCaption() const { return caption(Button::BinPatch); }
    const char* getCabviewCaption() const { return caption(Button::Cabview); }
    Indicator getBinPatchIndicator() const { return indicator(Button::BinPatch); }
    Indicator getCabviewIndicator() const { return indicator(Button::Cabview); }
    const char* caption(Button button) const;
    Indicator indicator(Button button) const;

    // The value in memory of the button's setting.
    int32_t value(Button button) const { return button == Button::BinPatch ? binpatch : cabview; }

    // What a click on the button would do now; reads nothing but whether the content tree and
    // the sources are there. A click that could not begin is planned as the message it shows.
    ClickPlan plan(Button button) const;

    // Reads both settings afresh and compares the live files with them, as one command; none,
    // after the read error, when a value could not be read.
    std::optional<TreeCheck> check();

    // Reads both settings afresh and brings the live files in step with them, as one command,
    // without writing the state file (copying nothing where the content tree is not there);
    // then compares them as check does.
    std::optional<TreeCheck> apply();

private:
    int32_t& valueOf(Button button) { return button == Button::BinPatch ? binpatch : cabview; }
    bool readStates();
    void reportReadError();
    bool refuseUnexpectedValue();
    bool finishInterruptedClick();
    BatchRun repairUnderMark();

    FrontEnd& frontEnd_;
    int32_t binpatch = 0;
    int32_t cabview = 1024;
};

// The batch whose run brings a setting to this value, as a click does; none for a value
// outside the setting's pair.
std::optional<Batch> batchSetting(Button button, int32_t value);
