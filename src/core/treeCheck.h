#pragma once

#include "compareFiles.h"
#include "copyTables.h"

#include <cstdint>
#include <vector>

// Whether the live files match the two settings, reading only: the comparison of the plan
// that would bring them in step (plan.h). The tree is in order when running the batches that
// clicks would have run to reach the settings would change no byte.

// One setting's part of the check.
struct SettingCheck {
    int32_t value = 0;
    bool valid = false;  // the value is one of its pair; otherwise no step was compared
    size_t steps = 0;    // steps compared
    size_t inOrder = 0;  // of them, those whose target holds its source's bytes
};

// A step whose target does not hold its source's bytes.
struct StepFinding {
    CopyStep step;
    FileComparison found;
};

struct TreeCheck {
    SettingCheck binPatch;
    SettingCheck cabview;
    std::vector<StepFinding> findings; // in the order the steps run

    SettingCheck& of(Button setting);
    bool inOrder() const;
};

TreeCheck checkLiveTree(const Settings& settings);
