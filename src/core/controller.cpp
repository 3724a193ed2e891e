#include "controller.h"

#include "clickLock.h"
#include "clickMark.h"
#include "fileIO.h"
#include "readFile.h"
#include "removeFile.h"

#include <string>

namespace {

const char kReadErrorText[] = "Fehler beim Lesen der Konfigurationsdatei BR927.zekconfig.";
const char kBatchFailedText[] = "Fehler beim Verarbeiten von mindestens einer Datei!";
const char kUnexpectedValueText[] = "Fehler";

const char kInterruptedText[] = "Unterbrochene Umschaltung abgeschlossen.";
const char kNotCopiedText[] = "Nicht kopiert: ";
const char kNotSavedText[] = "Nicht gespeichert: ";
const char kKeptText[] = "Geaenderte Dateien gesichert: ";

// The folder of the content tree; a click without it cannot begin.
const char kTrainsetFolder[] = "../../trains/trainset";

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

// "1 Datei", "2 Dateien".
std::string fileCount(size_t count)
{
    return std::to_string(count) + (count == 1 ? " Datei" : " Dateien");
}

// After a command's own message: which files could not be copied, and which were kept aside.
void showFileMessages(FrontEnd& frontEnd, const BatchRun& run)
{
    if (!run.failures.empty()) {
        const StepFailure& first = run.failures.front();
        const std::string text = kNotCopiedText + fileCount(run.failures.size()) + ", zuerst " + first.target + " ("
                                 + reasonText(first.error) + ")";
        frontEnd.showMessage(text.c_str(), kErrorTitle);
    }
    if (run.kept > 0)
        frontEnd.showMessage((kKeptText + fileCount(run.kept) + " in " + run.keptFolder).c_str(), kNoticeTitle);
}

// The folders where a click cut off may have left new files: those its batches write, and the
// working directory, where the mark and the state file are replaced.
std::vector<std::string> foldersWithLeftovers()
{
    std::vector<std::string> folders = foldersWritten();
    folders.push_back(".");
    return folders;
}

// Whether the content tree is there. Without it nothing can be copied: a command that would
// copy says which folder is missing, and begins nothing.
bool contentTreeFound()
{
    if (folderExists(kTrainsetFolder))
        return true;
    reportFileLine(std::string("Ordner fehlt: ") + kTrainsetFolder);
    return false;
}

// What one click did.
struct ClickRun {
    bool began = false;                // false when its content tree or its mark was not there
    const char* unsaved = nullptr;     // a file of the click's own that could not be written ...
    FileError saved = FileError::None; // ... and why
    BatchRun batch;
};

// Under the click lock: the new pair into the state file, then the batch, both under the mark
// that a start after a crash would find; the leftovers of a click cut off are removed first. A
// click without its mark does not begin: cut off, it could not be finished.
ClickRun runMarked(int32_t binpatch, int32_t cabview, Batch batch)
{
    ClickRun click;
    click.unsaved = kClickMarkName;
    click.saved = markClickUnderWay();
    if (click.saved != FileError::None)
        return click;
    click.began = true;
    removeLeftovers(foldersWithLeftovers());
    removeLeftoversBelow(kKeptRoot);
    click.unsaved = kStateFileName;
    click.saved = saveState(binpatch, cabview);
    // The textures follow the cab-view value written with the new setting: when another window
    // or a hand edit changed it since this one loaded, the value in memory would leave the live
    // textures out of step with the state file.
    click.batch = runBatch(batch, cabview);
    clearClickMark();
    return click;
}

// The click's own message, then what it could not do and what it kept aside. A click succeeded
// when its batch did and its setting reached the state file: one that did not would be gone at
// the next start, so it is reported as a failure like a failed copy.
bool showClickOutcome(FrontEnd& frontEnd, const Transition& transition, const ClickRun& click)
{
    const bool succeeded = click.began && click.batch.result == 1 && click.saved == FileError::None;
    if (succeeded)
        frontEnd.showMessage(transition.successText, kSuccessTitle);
    else
        frontEnd.showMessage(kBatchFailedText, kErrorTitle);
    if (click.saved != FileError::None) {
        const std::string text = std::string(kNotSavedText) + click.unsaved + " (" + reasonText(click.saved) + ")";
        frontEnd.showMessage(text.c_str(), kErrorTitle);
    }
    showFileMessages(frontEnd, click.batch);
    return succeeded;
}

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

// A start reads the state file without waiting for a click under way: the click replaces it
// whole, so a reader sees the old pair or the new one.
bool Controller::loadStates()
{
    const bool finished = !clickMarkFound() || finishInterruptedClick();
    return loadStatesToLook() && finished;
}

bool Controller::loadStatesToLook()
{
    const bool loaded = readStates();
    if (!loaded)
        reportReadError();
    return loaded;
}

// The mark may be a click's of another window still under way: the lock waits for its end,
// after which no mark is left to find. One that is still there was left by a click cut off,
// whose setting the state file holds: the files follow it. Without the content tree nothing
// can be finished: the mark stays for a start that finds the tree. True unless some file could
// not be brought in step.
bool Controller::finishInterruptedClick()
{
    BatchRun run;
    {
        const ClickLock oneClickAtATime;
        if (!clickMarkFound())
            return true;
        if (!readStates() || !contentTreeFound())
            return false;
        run = repairUnderMark();
    }
    frontEnd_.showMessage(kInterruptedText, kNoticeTitle);
    showFileMessages(frontEnd_, run);
    return run.result == 1;
}

// Under the click lock: the new files a click cut off left behind are removed, and the live
// files brought in step with the state file, under a mark until they are; no mark is left
// after it, a cut-off click's included. A tree in order is left as it is, its folders included.
BatchRun Controller::repairUnderMark()
{
    removeLeftovers(foldersWithLeftovers());
    removeLeftoversBelow(kKeptRoot);
    if (checkLiveTree(binpatch, cabview).inOrder()) {
        clearClickMark();
        return BatchRun();
    }
    // A repair that could not be finished after a crash does not begin; a click's mark found at
    // the start is there already.
    if (!clickMarkFound() && markClickUnderWay() != FileError::None) {
        BatchRun refused;
        refused.result = -1;
        return refused;
    }
    BatchRun run = repairLiveTree(binpatch, cabview);
    clearClickMark();
    return run;
}

// The click writes its new value with the other setting as the file holds it now, then runs
// its batch; the new setting stands whatever the batch achieved. A click that cannot begin, as
// its content tree is not there or its mark cannot be made, changes nothing.
bool Controller::toggle(Button button)
{
    const Transition* transition = transitionFrom(button, value(button));
    if (transition == nullptr)
        return refuseUnexpectedValue();
    ClickRun click;
    {
        const ClickLock oneClickAtATime;
        if (contentTreeFound()) {
            const Button other = otherButton(button);
            Settings written = {binpatch, cabview};
            written.of(button) = transition->to;
            written.of(other) = valueToKeep(readState(other), value(other));
            click = runMarked(written.binpatch, written.cabview, transition->batch);
        }
    }
    const bool succeeded = showClickOutcome(frontEnd_, *transition, click);
    if (!click.began)
        return false;
    valueOf(button) = transition->to;
    frontEnd_.requestRepaint();
    frontEnd_.setButtonCaption(button, caption(button));
    return succeeded;
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
    if (!contentTreeFound()) {
        plan.text = kBatchFailedText;
        plan.title = kErrorTitle;
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

std::optional<TreeCheck> Controller::apply()
{
    BatchRun run;
    std::optional<TreeCheck> found;
    {
        const ClickLock oneClickAtATime;
        if (readStates()) {
            if (contentTreeFound())
                run = repairUnderMark();
            found = checkLiveTree(binpatch, cabview);
        }
    }
    if (!found) {
        reportReadError();
        return found;
    }
    showFileMessages(frontEnd_, run);
    return found;
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
