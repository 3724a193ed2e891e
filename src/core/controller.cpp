#include "controller.h"

#include "copyFile.h"
#include "fileIO.h"

namespace {

const char kReadErrorText[] = "Fehler beim Lesen der Konfigurationsdatei BR927.zekconfig.";
const char kBatchFailedText[] = "Fehler beim Verarbeiten von mindestens einer Datei!";
const char kUnexpectedValueText[] = "Fehler";

const char kNoticeTitle[] = "Meldung";
const char kErrorTitle[] = "Fehler";
const char kSuccessTitle[] = "Aktion ausgefuehrt";

const int32_t kBinPatchOff = 0;
const int32_t kBinPatchOn = 1;
const int32_t kCabview1024 = 1024;
const int32_t kCabview1280 = 1280;

// The value the other setting goes back into the state file with. A file that vanished
// since the start reads as -1; writing that back would lose the BinPatch setting or lock
// every later start out with a read error, so the value held in memory is written instead.
int32_t valueToKeep(int32_t reread, int32_t inMemory)
{
    return reread < 0 ? inMemory : reread;
}

} // namespace

// Running one batch takes a setting from one valid value to the other.
struct ToggleTransition {
    int32_t from;
    int32_t to;
    Batch batch;
    const char* successText;
};

namespace {

using Transition = ToggleTransition;

const Transition kBinPatchTransitions[] = {
    {kBinPatchOff, kBinPatchOn, Batch::EngfilesBin, "BinPatch-Konfiguration erflgreich aktiviert"},
    {kBinPatchOn, kBinPatchOff, Batch::EngfilesNoBin, "BinPatch-Konfiguration erflgreich deaktiviert"},
};

const Transition kCabviewTransitions[] = {
    {kCabview1024, kCabview1280, Batch::Cabfiles1280, "Cabview-Aufloesung erfolgreich auf 1280x1024 umgestellt"},
    {kCabview1280, kCabview1024, Batch::Cabfiles1024, "Cabview-Aufloesung erfolgreich auf 1024x768 umgestellt"},
};

// The transition away from the value, or null when the value is neither of the pair.
template <size_t N>
const Transition* transitionFrom(const Transition (&transitions)[N], int32_t value)
{
    for (const Transition& transition : transitions) {
        if (transition.from == value)
            return &transition;
    }
    return nullptr;
}

// The batch of the transition that ends at the value; none when the value is neither of the pair.
template <size_t N>
std::optional<Batch> batchReaching(const Transition (&transitions)[N], int32_t value)
{
    for (const Transition& transition : transitions) {
        if (transition.to == value)
            return transition.batch;
    }
    return std::nullopt;
}

} // namespace

std::optional<Batch> batchSettingBinPatchTo(int32_t value)
{
    return batchReaching(kBinPatchTransitions, value);
}

std::optional<Batch> batchSettingCabviewTo(int32_t value)
{
    return batchReaching(kCabviewTransitions, value);
}

// The state file is read under the click lock too: on Windows a file held open for reading
// cannot be renamed over, so a start reading it would make another window's click fail to save.
bool Controller::loadStates()
{
    {
        const ClickLock noClickMeanwhile;
        binpatch = getBinPatchState();
        cabview = getCabviewState();
    }
    if (binpatch >= 0 && cabview >= 0)
        return true;
    frontEnd_.showMessage(kReadErrorText, kNoticeTitle);
    frontEnd_.endProgram();
    return false;
}

// A click holds the click lock while it re-reads the other setting, writes the state file and
// runs its batch, so that a second window or script never mixes its click into this one; the
// message that follows waits for the player, and so is shown without the lock.
bool Controller::toggleBinPatch()
{
    const Transition* transition = transitionFrom(kBinPatchTransitions, binpatch);
    if (transition == nullptr)
        return refuseUnexpectedValue();
    bool carriedOut = false;
    {
        const ClickLock oneClickAtATime;
        const int32_t cabviewInFile = valueToKeep(getCabviewState(), cabview);
        const bool recorded = setState(transition->to, cabviewInFile);
        // The textures follow the cab-view value written with the new setting: when another
        // window or a hand edit changed it since this one loaded, the value in memory would
        // leave the live textures out of step with the state file.
        carriedOut = runBatch(transition->batch, cabviewInFile) == 1 && recorded;
    }
    const bool succeeded = complete(*transition, carriedOut, binpatch);
    frontEnd_.setButtonCaption(Button::BinPatch, getBinPatchCaption());
    return succeeded;
}

bool Controller::toggleCabview()
{
    const Transition* transition = transitionFrom(kCabviewTransitions, cabview);
    if (transition == nullptr)
        return refuseUnexpectedValue();
    bool carriedOut = false;
    {
        const ClickLock oneClickAtATime;
        const int32_t binPatchInFile = valueToKeep(getBinPatchState(), binpatch);
        const bool recorded = setState(binPatchInFile, transition->to);
        carriedOut = runBatch(transition->batch, cabview) == 1 && recorded;
    }
    const bool succeeded = complete(*transition, carriedOut, cabview);
    frontEnd_.setButtonCaption(Button::Cabview, getCabviewCaption());
    return succeeded;
}

// The new setting stands whatever the batch achieved. A click succeeded when its batch did and
// its setting reached the state file: one that did not would be gone at the next start, so it
// is reported as a failure like a failed copy.
bool Controller::complete(const ToggleTransition& transition, bool succeeded, int32_t& value)
{
    if (succeeded)
        frontEnd_.showMessage(transition.successText, kSuccessTitle);
    else
        frontEnd_.showMessage(kBatchFailedText, kErrorTitle);
    value = transition.to;
    frontEnd_.requestRepaint();
    return succeeded;
}

bool Controller::refuseUnexpectedValue()
{
    frontEnd_.showMessage(kUnexpectedValueText, kNoticeTitle);
    return false;
}

const char* Controller::getBinPatchCaption() const
{
    return binpatch == kBinPatchOn ? "Deaktivieren" : "Aktivieren";
}

const char* Controller::getCabviewCaption() const
{
    return cabview == kCabview1024 ? "1280 x 1024" : "1024 x 768";
}

Indicator Controller::getBinPatchIndicator() const
{
    return binpatch == kBinPatchOn ? Indicator::BinPatchOn : Indicator::BinPatchOff;
}

Indicator Controller::getCabviewIndicator() const
{
    return cabview == kCabview1024 ? Indicator::Cabview1024 : Indicator::Cabview1280;
}

ClickPlan Controller::planBinPatchClick() const
{
    return plan(transitionFrom(kBinPatchTransitions, binpatch));
}

ClickPlan Controller::planCabviewClick() const
{
    return plan(transitionFrom(kCabviewTransitions, cabview));
}

ClickPlan Controller::plan(const ToggleTransition* transition) const
{
    ClickPlan plan;
    if (transition == nullptr) {
        plan.text = kUnexpectedValueText;
        plan.title = kNoticeTitle;
        return plan;
    }
    plan.runsBatch = true;
    plan.steps = stepsToRun(transition->batch, cabview);
    return plan;
}
