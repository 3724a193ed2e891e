#pragma once

#include "clickLock.h"
#include "copyTables.h"
#include "plan.h"
#include "treeCheck.h"

#include <cstdint>
#include <optional>

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

// What the next click on a button would do: carry out the plan, or only show the message.
struct ClickPlan {
    std::optional<Plan> plan;
    const char* text = nullptr;  // without a plan
    const char* title = nullptr;
};

// What `check` and `apply` found: the live files compared with the settings after the command
// (none when it could not compare: the read error, or another click kept the lock), and
// whether the command ended as it should.
struct TreeReport {
    std::optional<TreeCheck> check;
    bool succeeded = false;
};

// Holds the two settings, loads them at start and carries out the commands: the two toggles,
// the finishing at start of a click cut off, `apply`, and the two that only look, `plan` and
// `check`. Each command that changes the player's files makes one plan and carries out that
// plan (plan.h, carryOut.h); the controller turns the outcome into messages.
//
// Each command that writes the player's files or compares them holds the click lock for its
// whole run, so that a second window or script never sees half of it; a start only reads the
// state file, which a click replaces whole, and does not wait. A message that waits for the
// player is shown without the lock.
class Controller {
public:
    explicit Controller(FrontEnd& frontEnd, uint32_t lockPatienceMs = kClickLockPatienceMs)
        : frontEnd_(frontEnd), lockPatienceMs_(lockPatienceMs)
    {
    }

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
    int32_t value(Button button) const { return settings_.of(button); }

    // The plan a click on the button would carry out now, made as the click makes it (reading
    // the state file and the live files, writing nothing). A click that could not begin is
    // planned as the message it shows, its lines told as the click tells them.
    ClickPlan plan(Button button);

    // Reads both settings afresh and compares the live files with them, as one command.
    TreeReport check();

    // Reads both settings afresh and brings the live files in step with them, as one command,
    // without writing the state file (copying nothing where the content tree is not there);
    // then compares them as check does.
    TreeReport apply();

private:
    bool readStates();
    void reportReadError();
    void reportLockBusy();
    bool refuseUnexpectedValue();
    bool reportMarkBlocked();
    bool finishInterruptedClick();
    std::optional<Plan> planClickNow(Button button, int32_t to);

    FrontEnd& frontEnd_;
    const uint32_t lockPatienceMs_;
    Settings settings_;
};
