#include "plan.h"

#include "keptFiles.h"
#include "readFile.h"

#include <set>

namespace {

PlannedStep replacing(Button setting, CopyStep step)
{
    PlannedStep planned;
    planned.setting = setting;
    planned.step = std::move(step);
    return planned;
}

// The steps of the batch that brings the setting to its value, each planned to replace its
// live file; none for a value outside the setting's pair.
std::vector<PlannedStep> stepsBringing(Button setting, int32_t value, int32_t cabview)
{
    std::vector<PlannedStep> planned;
    if (const std::optional<Batch> batch = batchBringing(setting, value)) {
        for (CopyStep& step : stepsToRun(*batch, cabview))
            planned.push_back(replacing(setting, std::move(step)));
    }
    return planned;
}

std::vector<FilePair> filePairs(const std::vector<PlannedStep>& steps)
{
    std::vector<FilePair> pairs;
    for (const PlannedStep& each : steps)
        pairs.push_back({each.step.source, each.step.target});
    return pairs;
}

void refuse(PlannedStep& each, FileError why)
{
    each.action = StepAction::Refused;
    each.refusal = why;
}

// A click's steps whose source is not there are refused: there is nothing to copy.
void refuseMissingSources(std::vector<PlannedStep>& steps)
{
    std::vector<std::string> sources;
    for (const PlannedStep& each : steps)
        sources.push_back(each.step.source);
    const std::vector<bool> found = filesExist(sources);
    for (size_t i = 0; i < steps.size(); ++i) {
        if (!found[i])
            refuse(steps[i], FileError::SourceMissing);
    }
}

// Of the steps that replace their live file, those whose file the player changed keep it aside
// first. Only the first step of the plan that replaces a file can find the player's bytes in
// it (a later one finds what the earlier put there), so each file is kept once at most.
void planKeeps(Plan& plan)
{
    std::set<std::string> replaced;
    std::vector<size_t> firsts;
    std::vector<CopyStep> steps;
    for (size_t i = 0; i < plan.steps.size(); ++i) {
        const PlannedStep& each = plan.steps[i];
        if (each.action == StepAction::Replace && replaced.insert(pathKey(each.step.target)).second) {
            firsts.push_back(i);
            steps.push_back(each.step);
        }
    }
    const std::vector<bool> changed = changedByPlayer(steps);
    std::vector<size_t> keeps;
    std::vector<std::string> liveFiles;
    for (size_t k = 0; k < firsts.size(); ++k) {
        if (changed[k]) {
            keeps.push_back(firsts[k]);
            liveFiles.push_back(steps[k].target);
        }
    }
    if (keeps.empty())
        return;
    plan.keptFolder = newKeptFolder();
    const std::vector<std::string> kept = keptPaths(plan.keptFolder, liveFiles);
    for (size_t k = 0; k < keeps.size(); ++k) {
        plan.steps[keeps[k]].action = StepAction::KeepThenReplace;
        plan.steps[keeps[k]].keptPath = kept[k];
    }
}

} // namespace

bool Plan::changesNothing() const
{
    for (const PlannedStep& each : steps) {
        if (each.action != StepAction::InPlace)
            return false;
    }
    return true;
}

std::optional<Plan> planClick(Button button, const Settings& record)
{
    if (!batchBringing(button, record.of(button)))
        return std::nullopt;
    Plan plan;
    plan.record = record;
    plan.steps = stepsBringing(button, record.of(button), record.cabview);
    refuseMissingSources(plan.steps);
    planKeeps(plan);
    return plan;
}

// A step whose source an earlier step replaces is copied whatever its target holds now: after
// the earlier one, the source holds other bytes (the BinPatch batch refreshes the resolution
// folders that the cab-view batch copies from).
Plan planInStep(const Settings& recorded)
{
    Plan plan;
    std::set<std::string> replaced;
    for (ComparedStep& compared : compareWithSettings(recorded)) {
        PlannedStep each = replacing(compared.setting, std::move(compared.step));
        const bool sourceReplaced = replaced.count(pathKey(each.step.source)) > 0;
        if (!sourceReplaced && compared.found == FileComparison::SourceMissing)
            refuse(each, FileError::SourceMissing);
        else if (!sourceReplaced && compared.found == FileComparison::Same)
            each.action = StepAction::InPlace;
        else
            replaced.insert(pathKey(each.step.target));
        plan.steps.push_back(std::move(each));
    }
    planKeeps(plan);
    return plan;
}

std::vector<ComparedStep> compareWithSettings(const Settings& settings)
{
    std::vector<PlannedStep> steps = stepsBringing(Button::BinPatch, settings.binpatch, settings.cabview);
    std::vector<PlannedStep> cabview = stepsBringing(Button::Cabview, settings.cabview, settings.cabview);
    steps.insert(steps.end(), cabview.begin(), cabview.end());
    const std::vector<FileComparison> found = compareFiles(filePairs(steps));
    std::vector<ComparedStep> compared;
    for (size_t i = 0; i < steps.size(); ++i)
        compared.push_back({steps[i].setting, std::move(steps[i].step), found[i]});
    return compared;
}
