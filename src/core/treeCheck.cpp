#include "treeCheck.h"

#include "controller.h"
#include "fileIO.h"

#include <optional>

namespace {

SettingCheck checkSteps(int32_t value, std::optional<Batch> batch, int32_t cabview,
                        std::vector<StepFinding>& findings)
{
    SettingCheck setting;
    setting.value = value;
    setting.valid = batch.has_value();
    if (!batch)
        return setting;
    std::vector<CopyStep> steps = stepsToRun(*batch, cabview);
    const std::vector<FileComparison> found = compareFiles(filePairs(steps));
    setting.steps = steps.size();
    for (size_t i = 0; i < steps.size(); ++i) {
        if (found[i] == FileComparison::Same)
            ++setting.inOrder;
        else
            findings.push_back({std::move(steps[i]), found[i]});
    }
    return setting;
}

std::string summary(const char* name, const SettingCheck& setting)
{
    const std::string head = std::string(name) + ' ' + std::to_string(setting.value) + ": ";
    if (!setting.valid)
        return head + "kein gueltiger Wert";
    return head + std::to_string(setting.inOrder) + " von " + std::to_string(setting.steps) + " Dateien stimmen";
}

std::string findingLine(const StepFinding& finding)
{
    switch (finding.found) {
    case FileComparison::SourceMissing:
        return "Quelle fehlt: " + finding.step.source;
    case FileComparison::TargetMissing:
        return "Fehlt: " + finding.step.target;
    case FileComparison::Different:
    case FileComparison::Same:
        break;
    }
    return "Abweichend: " + finding.step.target;
}

// The steps of the batch that a check would find out of order, copied.
void repairSteps(std::optional<Batch> batch, int32_t cabview, BatchRun& run)
{
    if (!batch)
        return;
    const std::vector<CopyStep> steps = stepsToRun(*batch, cabview);
    const std::vector<FileComparison> found = compareFiles(filePairs(steps));
    std::vector<CopyStep> outOfOrder;
    for (size_t i = 0; i < steps.size(); ++i) {
        if (found[i] != FileComparison::Same)
            outOfOrder.push_back(steps[i]);
    }
    if (outOfOrder.empty())
        return;
    const BatchRun done = runCopySteps(outOfOrder, run.keptFolder);
    run.result = done.result < 0 ? done.result : run.result;
    run.failures.insert(run.failures.end(), done.failures.begin(), done.failures.end());
    run.kept += done.kept;
    run.keptFolder = done.keptFolder;
}

} // namespace

BatchRun repairLiveTree(int32_t binpatch, int32_t cabview)
{
    BatchRun run;
    repairSteps(batchSetting(Button::BinPatch, binpatch), cabview, run);
    repairSteps(batchSetting(Button::Cabview, cabview), cabview, run);
    return run;
}

bool TreeCheck::inOrder() const
{
    return binPatch.valid && cabview.valid && findings.empty();
}

TreeCheck checkLiveTree(int32_t binpatch, int32_t cabview)
{
    TreeCheck check;
    check.binPatch = checkSteps(binpatch, batchSetting(Button::BinPatch, binpatch), cabview, check.findings);
    check.cabview = checkSteps(cabview, batchSetting(Button::Cabview, cabview), cabview, check.findings);
    return check;
}

std::vector<std::string> checkReport(const TreeCheck& check)
{
    std::vector<std::string> lines = {summary("BinPatch", check.binPatch), summary("Cabview", check.cabview)};
    for (const StepFinding& finding : check.findings)
        lines.push_back(findingLine(finding));
    return lines;
}
