#include "controller.h"

#include "carryOut.h"
#include "clickMark.h"
#include "fileReport.h"
#include "keptFiles.h"
#include "readFile.h"
#include "removeFile.h"
#include "stateFile.h"

#include <string>

namespace {

const char kReadErrorText[] = "Fehler beim Lesen der Konfigurationsdatei BR927.zekconfig.";
const char kBatchFailedText[] = "Fehler beim Verarbeiten von mindestens einer Datei!";
const char kUnexpectedValueText[] = "Fehler";

const char kInterruptedText[] = "Unterbrochene Umschaltung abgeschlossen.";
const char kLockBusyText[] = "Eine andere Umschaltung laeuft noch. Nichts wurde geaendert.";
const char kNotCopiedText[] = "Nicht kopiert: ";
const char kNotSavedText[] = "Nicht gespeichert: ";
const char kNotRemovedText[] = "Nicht entfernt: ";
const char kMarkBlockedText[] = "Umschalten nicht moeglich: ";
const char kKeptText[] = "Geaenderte Dateien gesichert: ";

const char kNoticeTitle[] = "Meldung";
const char kErrorTitle[] = "Fehler";
const char kSuccessTitle[] = "Aktion ausgefuehrt";

// A click takes a setting from one valid value to the other.
struct Transition {
    int32_t from;
    int32_t to;
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
    {{0, 1, "BinPatch-Konfiguration erflgreich aktiviert"}, {1, 0, "BinPatch-Konfiguration erflgreich deaktiviert"}},
    1, "Deaktivieren", "Aktivieren", Indicator::BinPatchOn, Indicator::BinPatchOff,
};

const SettingRules kCabviewRules = {
    {{1024, 1280, "Cabview-Aufloesung erfolgreich auf 1280x1024 umgestellt"},
     {1280, 1024, "Cabview-Aufloesung erfolgreich auf 1024x768 umgestellt"}},
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

// The value the other setting goes back into the state file with. A file that vanished
// since the start reads as -1; writing that back would lose the other setting or lock
// every later start out with a read error, so the value held in memory is written instead.
int32_t valueToKeep(int32_t reread, int32_t inMemory)
{
    return reread < 0 ? inMemory : reread;
}

// "1 Datei", "2 Dateien".
std::string fileCount(size_t count)
{
    return std::to_string(count) + (count == 1 ? " Datei" : " Dateien");
}

// After a command's own message: which files it left as they were, and which it kept aside.
void showFileMessages(FrontEnd& frontEnd, const Plan& plan, const std::optional<PlanRun>& run)
{
    if (!run)
        return;
    const std::vector<FileFailure> failures = filesNotCopied(plan, *run);
    if (!failures.empty()) {
        const std::string text = kNotCopiedText + fileCount(failures.size()) + ", zuerst " + failures.front().target;
        frontEnd.showMessage(withReason(text, failures.front().error).c_str(), kErrorTitle);
    }
    if (run->kept > 0)
        frontEnd.showMessage((kKeptText + fileCount(run->kept) + " in " + plan.keptFolder).c_str(), kNoticeTitle);
}

// A file of the tool's own that could not be written or removed.
void showOwnFileFailure(FrontEnd& frontEnd, const char* failed, const char* name, FileError error)
{
    if (error != FileError::None)
        frontEnd.showMessage(withReason(std::string(failed) + name, error).c_str(), kErrorTitle);
}

// Removes the new files a command cut off may have left: in the folders the batches write, in
// the working directory (where the mark and the state file are replaced), and below the folder
// of kept files. Tells how many there were.
size_t removeLeftoversOfCommandsCutOff()
{
    std::vector<std::string> folders = foldersWritten();
    folders.push_back(".");
    return removeLeftovers(folders) + removeLeftoversBelow(kKeptRoot);
}

// Whether something stands in the way of the mark, so that no click can begin; tells it as a
// line, as a missing content tree is told.
bool markBlockedLine()
{
    const FileError blocked = clickMarkBlocked();
    if (blocked != FileError::None)
        reportFileLine(withReason(std::string(kMarkBlockedText) + kClickMarkName, blocked));
    return blocked != FileError::None;
}

// Whether the content tree is there. Without it nothing can be copied: a command that would
// copy says which folder is missing, and begins nothing.
bool contentTreeFound()
{
    if (folderExists(kTrainsetFolder))
        return true;
    reportFileLine(folderMissingLine(kTrainsetFolder));
    return false;
}

// What one command that writes did with the tool's own files and the player's.
struct CommandRun {
    bool lockBusy = false;                // another click kept the lock: nothing began
    const char* unsaved = nullptr;        // a file of the tool's own that could not be written ...
    FileError saved = FileError::None;    // ... and why
    FileError unmarked = FileError::None; // why the mark could not be removed afterwards
    Plan plan;
    std::optional<PlanRun> run;           // once the plan has been carried out

    bool began() const { return run.has_value(); }
    bool succeeded() const { return run && run->succeeded() && unmarked == FileError::None; }
};

// Under the click lock: the plan carried out under the mark that a start after a crash would
// find, the pair it records first (a click's) in the state file; the leftovers of a command cut
// off are removed first. Without its mark, or without its new setting recorded, nothing begins:
// cut off, it could not be finished, and its setting would be gone at the next start.
void runMarked(CommandRun& command)
{
    const bool marked = clickMarkFound();
    command.unsaved = kClickMarkName;
    command.saved = marked ? FileError::None : markClickUnderWay();
    if (command.saved != FileError::None)
        return;
    removeLeftoversOfCommandsCutOff();
    if (const std::optional<Settings>& record = command.plan.record) {
        command.unsaved = kStateFileName;
        command.saved = setState(record->binpatch, record->cabview);
    }
    if (command.saved == FileError::None)
        command.run = carryOut(command.plan);
    command.unmarked = clearClickMark();
}

// The click's own message, then what it could not do and what it kept aside.
bool showClickOutcome(FrontEnd& frontEnd, const Transition& transition, const CommandRun& click)
{
    if (click.run && click.run->succeeded())
        frontEnd.showMessage(transition.successText, kSuccessTitle);
    else
        frontEnd.showMessage(kBatchFailedText, kErrorTitle);
    showOwnFileFailure(frontEnd, kNotSavedText, click.unsaved, click.saved);
    showOwnFileFailure(frontEnd, kNotRemovedText, kClickMarkName, click.unmarked);
    showFileMessages(frontEnd, click.plan, click.run);
    return click.succeeded();
}

} // namespace

bool Controller::readStates()
{
    settings_.binpatch = getBinPatchState();
    settings_.cabview = getCabviewState();
    return settings_.binpatch >= 0 && settings_.cabview >= 0;
}

void Controller::reportReadError()
{
    frontEnd_.showMessage(kReadErrorText, kNoticeTitle);
    frontEnd_.endProgram();
}

void Controller::reportLockBusy()
{
    reportFileLine(lockBusyLine());
    frontEnd_.showMessage(kLockBusyText, kErrorTitle);
}

// A start reads the state file without waiting for a click under way: the click replaces it
// whole, so a reader sees the old pair or the new one.
bool Controller::loadStates()
{
    const bool markUsable = reportMarkBlocked();
    const bool finished = !clickMarkFound() || finishInterruptedClick();
    return loadStatesToLook() && finished && markUsable;
}

bool Controller::loadStatesToLook()
{
    const bool loaded = readStates();
    if (!loaded)
        reportReadError();
    return loaded;
}

// Something other than a file where the mark belongs stops every click: the player hears of it
// at the start, not only at each click. True when the mark's name is free for clicks.
bool Controller::reportMarkBlocked()
{
    const FileError blocked = clickMarkBlocked();
    showOwnFileFailure(frontEnd_, kMarkBlockedText, kClickMarkName, blocked);
    return blocked == FileError::None;
}

// The mark may be a click's of another window still under way: the lock waits for its end,
// after which no mark is left to find. One that is still there was left by a command cut off,
// whose setting the state file holds: the files follow it, and the player hears of it when
// anything was left to finish. Without the content tree nothing can be finished: the mark
// stays for a start that finds the tree. True unless something could not be finished.
bool Controller::finishInterruptedClick()
{
    CommandRun finishing;
    bool leftovers = false;
    {
        const ClickLock oneClickAtATime(lockPatienceMs_);
        finishing.lockBusy = oneClickAtATime.busy();
        if (!finishing.lockBusy) {
            if (!clickMarkFound())
                return true;
            if (!readStates() || !contentTreeFound())
                return false;
            leftovers = removeLeftoversOfCommandsCutOff() > 0;
            finishing.plan = planInStep(settings_);
            finishing.run = carryOut(finishing.plan);
            finishing.unmarked = clearClickMark();
        }
    }
    if (finishing.lockBusy) {
        reportLockBusy();
        return false;
    }
    if (leftovers || !finishing.plan.changesNothing()) {
        frontEnd_.showMessage(kInterruptedText, kNoticeTitle);
        showFileMessages(frontEnd_, finishing.plan, finishing.run);
    }
    showOwnFileFailure(frontEnd_, kNotRemovedText, kClickMarkName, finishing.unmarked);
    return finishing.succeeded();
}

// The click's plan, under the click lock: its new value, with the other setting as the state
// file holds it now; none when its content tree is not there. The textures follow the cab-view
// value recorded: when another window or a hand edit changed it since this one loaded, the
// value in memory would leave the live textures out of step with the state file.
std::optional<Plan> Controller::planClickNow(Button button, int32_t to)
{
    if (!contentTreeFound())
        return std::nullopt;
    Settings record = settings_;
    record.of(button) = to;
    const Button other = otherButton(button);
    record.of(other) = valueToKeep(getState(other), settings_.of(other));
    return planClick(button, record);
}

// The click records its new value, then carries out its plan; the new setting stands whatever
// the copies achieved. A click that cannot begin (its content tree is not there, its mark or its
// new setting cannot be written, another click keeps the lock) changes nothing.
bool Controller::toggle(Button button)
{
    const Transition* transition = transitionFrom(button, value(button));
    if (transition == nullptr)
        return refuseUnexpectedValue();
    CommandRun click;
    {
        const ClickLock oneClickAtATime(lockPatienceMs_);
        click.lockBusy = oneClickAtATime.busy();
        std::optional<Plan> plan = click.lockBusy ? std::nullopt : planClickNow(button, transition->to);
        if (plan) {
            click.plan = std::move(*plan);
            runMarked(click);
        }
    }
    if (click.lockBusy) {
        reportLockBusy();
        return false;
    }
    const bool succeeded = showClickOutcome(frontEnd_, *transition, click);
    if (!click.began())
        return false;
    settings_.of(button) = transition->to;
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

ClickPlan Controller::plan(Button button)
{
    ClickPlan planned;
    const Transition* transition = transitionFrom(button, value(button));
    if (transition == nullptr) {
        planned.text = kUnexpectedValueText;
        planned.title = kNoticeTitle;
        return planned;
    }
    bool lockBusy = false;
    {
        const ClickLock noClickMeanwhile(lockPatienceMs_);
        lockBusy = noClickMeanwhile.busy();
        if (!lockBusy && !markBlockedLine())
            planned.plan = planClickNow(button, transition->to);
    }
    if (lockBusy)
        reportFileLine(lockBusyLine());
    if (!planned.plan) {
        planned.text = lockBusy ? kLockBusyText : kBatchFailedText;
        planned.title = kErrorTitle;
    }
    return planned;
}

// Under the click lock: the files are brought in step under a mark, made unless a command cut
// off left one, so that a start after a crash finishes them; a tree in step is left as it is.
TreeReport Controller::apply()
{
    CommandRun applying;
    TreeReport report;
    {
        const ClickLock oneClickAtATime(lockPatienceMs_);
        applying.lockBusy = oneClickAtATime.busy();
        if (!applying.lockBusy && readStates()) {
            if (contentTreeFound()) {
                applying.plan = planInStep(settings_);
                if (applying.plan.changesNothing())
                    applying.run = carryOut(applying.plan);
                else
                    runMarked(applying);
            }
            report.check = checkLiveTree(settings_);
        }
    }
    if (applying.lockBusy) {
        reportLockBusy();
        return report;
    }
    if (!report.check) {
        reportReadError();
        return report;
    }
    showOwnFileFailure(frontEnd_, kNotSavedText, applying.unsaved, applying.saved);
    showOwnFileFailure(frontEnd_, kNotRemovedText, kClickMarkName, applying.unmarked);
    showFileMessages(frontEnd_, applying.plan, applying.run);
    report.succeeded = report.check->inOrder() && applying.saved == FileError::None
                       && applying.unmarked == FileError::None;
    return report;
}

TreeReport Controller::check()
{
    TreeReport report;
    bool lockBusy = false;
    {
        const ClickLock noClickMeanwhile(lockPatienceMs_);
        lockBusy = noClickMeanwhile.busy();
        if (!lockBusy && readStates())
            report.check = checkLiveTree(settings_);
    }
    if (lockBusy)
        reportLockBusy();
    else if (!report.check)
        reportReadError();
    report.succeeded = report.check && report.check->inOrder();
    return report;
}
