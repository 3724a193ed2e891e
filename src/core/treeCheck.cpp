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

} // namespace

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
