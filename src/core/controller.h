#pragma once

#include "copyTables.h"

#include <cstdint>
#include <optional>
#include <vector>

// The two push buttons, addressed by their role.
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
    std::vector<CopyStep> steps; // when runsBatch
    const char* text = nullptr;  // otherwise
    const char* title = nullptr;
};

// One toggle of a setting, from one valid value to the other (defined with the controller).
struct ToggleTransition;

// Holds the two settings, loads them at start and carries out the two toggle commands.
class Controller {
public:
    explicit Controller(FrontEnd& frontEnd) : frontEnd_(frontEnd) {}

    // Each tells whether it ended as it should: the start with both values read, a click
    // with its success message (not the failure message, not a refusal).
    bool loadStates();
    bool toggleBinPatch();
    bool toggleCabview();

    const char* getBinPatchCaption() const;
    const char* getCabviewCaption() const;
    Indicator getBinPatchIndicator() const;
    Indicator getCabviewIndicator() const;

    int32_t binPatchValue() const { return binpatch; }
    int32_t cabviewValue() const { return cabview; }

    ClickPlan planBinPatchClick() const;
    ClickPlan planCabviewClick() const;

private:
    bool complete(const ToggleTransition& transition, bool succeeded, int32_t& value);
    bool refuseUnexpectedValue();
    ClickPlan plan(const ToggleTransition* transition) const;

    FrontEnd& frontEnd_;
    int32_t binpatch = 0;
    int32_t cabview = 1024;
};

// The batch whose run brings a setting to this value, as a click does; none for a value
// outside the setting's pair.
std::optional<Batch> batchSettingBinPatchTo(int32_t value);
std::optional<Batch> batchSettingCabviewTo(int32_t value);
