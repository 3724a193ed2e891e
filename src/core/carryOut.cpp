#include "carryOut.h"

#include "fileReport.h"
#include "keepFile.h"
#include "replaceFile.h"

#include <set>

namespace {

bool copies(StepAction action)
{
    return action == StepAction::Replace || action == StepAction::KeepThenReplace;
}

// The keeping round: every live file the plan keeps goes aside before any copy runs. A step
// whose file could not be kept is not copied, nor is any later step of the same file.
void keepChangedFiles(const Plan& plan, PlanRun& run)
{
    std::vector<size_t> keeping;
    std::vector<FilePair> keeps;
    for (size_t i = 0; i < plan.steps.size(); ++i) {
        if (plan.steps[i].action == StepAction::KeepThenReplace) {
            keeping.push_back(i);
            keeps.push_back({plan.steps[i].step.target, plan.steps[i].keptPath});
        }
    }
    if (keeps.empty())
        return;
    const std::vector<FileError> kept = keepFiles(keeps);
    std::set<std::string> notKept;
    for (size_t k = 0; k < keeps.size(); ++k) {
        reportFileLine(keepLine(keeps[k], kept[k]));
        if (kept[k] == FileError::None) {
            ++run.kept;
            continue;
        }
        run.steps[keeping[k]] = {StepResult::KeepFailed, kept[k]};
        notKept.insert(pathKey(keeps[k].source));
    }
    for (size_t i = 0; i < plan.steps.size(); ++i) {
        if (run.steps[i].result == StepResult::Done && copies(plan.steps[i].action)
            && notKept.count(pathKey(plan.steps[i].step.target)) > 0)
            run.steps[i] = {StepResult::LeftAlone, FileError::None};
    }
}

// Copies one group of steps as one call of the platform, which may order its work as it likes.
void copyGroup(const Plan& plan, const std::vector<size_t>& group, PlanRun& run)
{
    std::vector<FilePair> pairs;
    for (const size_t i : group)
        pairs.push_back({plan.steps[i].step.source, plan.steps[i].step.target});
    const std::vector<FileError> copied = copyFilesReplacing(pairs);
    for (size_t k = 0; k < group.size(); ++k) {
        if (copied[k] != FileError::None)
            run.steps[group[k]] = {StepResult::CopyFailed, copied[k]};
    }
}

// The copying round, in groups: a step that reads a file an earlier step of its group writes
// begins a new group, so that it reads the bytes the earlier one put there.
void copyPlannedSteps(const Plan& plan, PlanRun& run)
{
    std::vector<size_t> group;
    std::set<std::string> written;
    for (size_t i = 0; i < plan.steps.size(); ++i) {
        if (!copies(plan.steps[i].action) || run.steps[i].result != StepResult::Done)
            continue;
        if (written.count(pathKey(plan.steps[i].step.source)) > 0) {
            copyGroup(plan, group, run);
            group.clear();
            written.clear();
        }
        group.push_back(i);
        written.insert(pathKey(plan.steps[i].step.target));
    }
    if (!group.empty())
        copyGroup(plan, group, run);
}

StepOutcome plannedOutcome(const PlannedStep& each)
{
    switch (each.action) {
    case StepAction::InPlace:
        return {StepResult::InPlace, FileError::None};
    case StepAction::Refused:
        return {StepResult::Refused, each.refusal};
    case StepAction::Replace:
    case StepAction::KeepThenReplace:
        break;
    }
    return {StepResult::Done, FileError::None};
}

} // namespace

bool PlanRun::succeeded() const
{
    for (const StepOutcome& each : steps) {
        if (each.result != StepResult::Done && each.result != StepResult::InPlace)
            return false;
    }
    return true;
}

PlanRun carryOut(const Plan& plan)
{
    PlanRun run;
    for (const PlannedStep& each : plan.steps)
        run.steps.push_back(plannedOutcome(each));
    keepChangedFiles(plan, run);
    copyPlannedSteps(plan, run);
    for (size_t i = 0; i < plan.steps.size(); ++i) {
        const StepResult result = run.steps[i].result;
        if (result == StepResult::Refused || result == StepResult::CopyFailed)
            reportFileLine(copyFailedLine(plan.steps[i].step, run.steps[i].error));
    }
    return run;
}

std::vector<FileFailure> filesNotCopied(const Plan& plan, const PlanRun& run)
{
    std::vector<FileFailure> failures;
    std::set<std::string> told;
    for (const bool keeps : {true, false}) {
        for (size_t i = 0; i < plan.steps.size(); ++i) {
            const StepResult result = run.steps[i].result;
            const bool failed = keeps ? result == StepResult::KeepFailed
                                      : result == StepResult::Refused || result == StepResult::CopyFailed;
            if (failed && told.insert(pathKey(plan.steps[i].step.target)).second)
                failures.push_back({plan.steps[i].step.target, run.steps[i].error});
        }
    }
    return failures;
}
