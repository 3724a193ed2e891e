#include "treeCheck.h"

#include "plan.h"

bool TreeCheck::inOrder() const
{
    return binPatch.valid && cabview.valid && findings.empty();
}

TreeCheck checkLiveTree(const Settings& settings)
{
    TreeCheck check;
    for (const Button setting : {Button::BinPatch, Button::Cabview}) {
        SettingCheck& part = setting == Button::BinPatch ? check.binPatch : check.cabview;
        part.value = settings.of(setting);
        part.valid = batchBringing(setting, part.value).has_value();
    }
    for (ComparedStep& compared : compareWithSettings(settings)) {
        SettingCheck& part = compared.setting == Button::BinPatch ? check.binPatch : check.cabview;
        ++part.steps;
        if (compared.found == FileComparison::Same)
            ++part.inOrder;
        else
            check.findings.push_back({std::move(compared.step), compared.found});
    }
    return check;
}
