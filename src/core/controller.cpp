#include "controller.h"

#include "clickLock.h"
#include "fileIO.h"
#include "readFile.h"

namespace {

const char kReadErrorText[] = "Fehler beim Lesen der Konfigurationsdatei BR927.zekconfig.";
const char kBatchFailedText[] = "Fehler beim Verarbeiten von mindestens einer Datei!";
const char kUnexpectedValueText[] = "Fehler";

const char kNoticeTitle[] = "Meldung";
const char kErrorTitle[] = "Fehler";
const char kSuccessTitle[] = "Aktion ausgefuehrt";

// Running one batch takes a setting from one valid value to the other.
struct Transition {
    int32_t from;
    int32_t to;
    Batch batch;
    const char* successText;
};

// Everything a setting's button decides: its two transitions, and the caption and image for
// its marked value and for any other value (the captions name what the next click does).
struct SettingRules {
    Transition transitions[2];
    int32_t marked;
    const char* captionWhenMarked;
    const char* captionOtherwise;
    Indicator indicatorWhenMarked;
    Indicator indicatorOtherwise;
};

const SettingRules kBinPatchRules = {
    {{0, 1, Batch::EngfilesBin, "BinPatch-Konfiguration erflgreich aktiviert"},
     {1, 0, Batch::EngfilesNoBin, "BinPatch-Konfiguration erflgreich deaktiviert"}},
    1, "Deaktivieren", "Aktivieren", Indicator::BinPatchOn, Indicator::BinPatchOff,
};

const SettingRules kCabviewRules = {
    {{1024, 1280, Batch::Cabfiles1280, "Cabview-Aufloesung erfolgreich auf 1280x1024 umgestellt"},
     {1280, 1024, Batch::Cabfiles1024, "Cabview-Aufloesung erfolgreich auf 1024x768 umgestellt"}},
    1024, "1280 x 1024", "1024 x 768", Indicator::Cabview1024, Indicator::Cabview1280,
};

const SettingRules& rulesOf(Button button)
{
    return button == Button::BinPatch ? kBinPatchRules : kCabviewRules;
}

Button otherButton(Button button)
{
    return button == Button::BinPatch ? Button::Cabview : Button::BinPatch;
}

// The transition away from the value, or null when the value is neither of the pair.
const Transition* transitionFrom(Button button, int32_t value)
{
    for (const Transition& transition : rulesOf(button).transitions) {
        if (transition.from == value)
            return &transition;
    }
    return nullptr;
}

int32_t readState(Button button)
{
    return button == Button::BinPatch ? getBinPatchState() : getCabviewState();
}

// The value the other setting goes back into the state file with. A file that vanished
// since the start reads as -1; writing that back would lose the other setting or lock
// every later start out with a read error, so the value held in memory is written instead.
int32_t valueToKeep(int32_t reread, int32_t inMemory)
{
    return reread < 0 ? inMemory : reread;
}

// Both settings, addressed by button.
struct Settings {
    int32_t binpatch;
    int32_t cabview;
    int32_t& of(Button button) { return button == Button::BinPatch ? binpatch : cabview; }
};

} // namespace

std::optional<Batch> batchSetting(Button button, int32_t value)
{
    for (const Transition& transition : rulesOf(button).transitions) {
        if (transition.to == value)
            return transition.batch;
    }
    return std::nullopt;
}

bool Controller::readStates()
{
    binpatch = getBinPatchState();
    cabview = getCabviewState();
    return binpatch >= 0 && cabview >= 0;
}

void Controller::reportReadError()
{
    frontEnd_.showMessage(kReadErrorText, kNoticeTitle);
    frontEnd_.endProgram();
}

// The state file is read under the click lock: on Windows a file held open for reading cannot
// be renamed over, so a start reading it would make another window's click fail to save.
bool Controller::loadStates()
{
    bool loaded = false;
    {
        const ClickLock noClickMeanwhile;
        loaded = readStates();
    }
    if (!loaded)
        reportReadError();
    return loaded;
}

// The click writes its new value with the other setting as the file holds it now, then runs
// its batch. The new setting stands whatever the batch achieved. A click succeeded when its
// batch did and its setting reached the state file: one that did not would be gone at the
// next start, so it is reported as a failure like a failed copy.
bool Controller::toggle(Button button)
{
    const Transition* transition = transitionFrom(button, value(button));
    if (transition == nullptr)
        return refuseUnexpectedValue();
    bool carriedOut = false;
    {
        const ClickLock oneClickAtATime;
        const Button other = otherButton(button);
        Settings written = {binpatch, cabview};
        written.of(button) = transition->to;
        written.of(other) = valueToKeep(readState(other), value(other));
        const bool recorded = setState(written.binpatch, written.cabview);
        // The textures follow the cab-view value written with the new setting: when another
        // window or a hand edit changed it since this one loaded, the value in memory would
        // leave the live textures out of step with the state file.
        carriedOut = runBatch(transition->batch, written.cabview) == 1 && recorded;
    }
    if (carriedOut)
        frontEnd_.showMessage(transition->successText, kSuccessTitle);
    else
        frontEnd_.showMessage(kBatchFailedText, kErrorTitle);
    valueOf(button) = transition->to;
    frontEnd_.requestRepaint();
    frontEnd_.setButtonCaption(button, caption(button));
    return carriedOut;
}

bool Controller::refuseUnexpectedValue()
{
    frontEnd_.showMessage(kUnexpectedValueText, kNoticeTitle);
    return false;
}

const char* Controller::caption(Button button) const
{
    const SettingRules& rules = rulesOf(button);
    return value(button) == rules.marked ? rules.captionWhenMarked : rules.captionOtherwise;
}

Indicator Controller::indicator(Button button) const
{
    const SettingRules& rules = rulesOf(button);
    return value(button) == rules.marked ? rules.indicatorWhenMarked : rules.indicatorOtherwise;
}

ClickPlan Controller::plan(Button button) const
{
    ClickPlan plan;
    const Transition* transition = transitionFrom(button, value(button));
    if (transition == nullptr) {
        plan.text = kUnexpectedValueText;
        plan.title = kNoticeTitle;
        return plan;
    }
    plan.runsBatch = true;
    plan.steps = stepsToRun(transition->batch, cabview);
    std::vector<std::string> sources;
    for (const CopyStep& step : plan.steps)
        sources.push_back(step.source);
    plan.sourcesFound = filesExist(sources);
    return plan;
}

std::optional<TreeCheck> Controller::check()
{
    std::optional<TreeCheck> found;
    {
        const ClickLock noClickMeanwhile;
        if (readStates())
            found = checkLiveTree(binpatch, cabview);
    }
    if (!found)
        reportReadError();
    return found;
}
