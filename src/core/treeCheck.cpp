#include "treeCheck.h"

#include "plan.h"

SettingCheck& TreeCheck::of(Button setting)
{
    return setting == Button::BinPatch ? binPatch : cabview;
}

bool TreeCheck::inOrder() const
{
    return binPatch.valid && cabview.valid && findings.empty();
}

TreeCheck checkLiveTree(const Settings& settings)
{
    TreeCheck check;
    for (const Button setting : {Button::BinPatch, Button::Cabview}) {
        SettingCheck& part = check.of(setting);
        part.value = settings.of(setting);
        part.valid = batchBringing(setting, part.value).has_value();
    }
    for (ComparedStep& compared : compareWithSettings(settings)) {
        SettingCheck& part = check.of(compared.setting);
        ++part.steps;
        if (compared.found == FileComparison::Same)
            ++part.inOrder;
        else
            check.findings.push_back({std::move(compared.step), compared.found});
    }
    return check;
}
