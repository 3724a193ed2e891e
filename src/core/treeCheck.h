#pragma once

#include "compareFiles.h"
#include "copyTables.h"
#include "fileIO.h"

#include <cstdint>
#include <string>
#include <vector>

// Whether the live files match the two settings, reading only: the steps of the batches that
// clicks would have run to reach the settings, each target compared with its source. The tree
// is in order when running those batches again would change no byte.

// One setting's part of the check.
struct SettingCheck {
    int32_t value = 0;
    bool valid = false;   // the value is one of its pair; otherwise no step was compared
    size_t steps = 0;     // steps compared
    size_t inOrder = 0;   // of them, those whose target holds its source's bytes
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

    bool inOrder() const;
};

// Compares the steps of the BinPatch batch (with the cab-view value), then those of the
// cab-view batch. Values outside their pair compare nothing for that setting.
TreeCheck checkLiveTree(int32_t binpatch, int32_t cabview);

// Brings the live files in step with the settings: the steps that a check finds out of order
// are copied as a click copies them, the player's changed files kept aside first; the BinPatch
// batch's steps first, as the cab-view batch copies some of the files they write. Nothing is
// copied on a tree in order, and nothing for a value outside its pair.
BatchRun repairLiveTree(int32_t binpatch, int32_t cabview);

// The lines that report a check: one summary per setting, then one per finding.
std::vector<std::string> checkReport(const TreeCheck& check);
