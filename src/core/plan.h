#pragma once

#include "compareFiles.h"
#include "copyTables.h"
#include "fileError.h"

#include <optional>
#include <string>
#include <vector>

// What a command will do to the player's files, decided once before anything is written: a
// click, `apply`, and a start that finishes a click cut off each make one plan, and carry out
// exactly that plan (carryOut.h); `plan` prints it, and `check` is its comparison alone.

// What will happen to a step's live file.
enum class StepAction {
    Replace,         // its source's bytes replace it
    KeepThenReplace, // the player changed it: it is kept aside at keptPath first, then replaced
    InPlace,         // it holds its source's bytes already, and nothing before it changes them
    Refused,         // nothing is done, for `refusal`
};

struct PlannedStep {
    Button setting;                      // the setting whose batch the step belongs to
    CopyStep step;                       // as the tables spell it
    StepAction action = StepAction::Replace;
    std::string keptPath;                // KeepThenReplace: the live file's path below the
                                         // simulator's root as the disk spells it, in keptFolder
    FileError refusal = FileError::None; // Refused: why
};

struct Plan {
    std::optional<Settings> record; // the pair a click records before it copies; none for a
                                    // plan of the pair already recorded
    std::vector<PlannedStep> steps; // in run order
    std::string keptFolder;         // where this command keeps files; empty when it keeps none

    // Whether carrying it out writes nothing: every step in place.
    bool changesNothing() const;
};

// The plan of a click: `record` goes into the state file, then the batch that brings the
// button's setting to its value there runs, every step of it copying (the cab-view value
// recorded chooses its conditional steps). None when the value is outside the setting's pair.
std::optional<Plan> planClick(Button button, const Settings& record);

// The plan that brings the live files in step with the settings recorded, as `apply` and the
// finishing of a click cut off do: the steps that a check finds out of step, and those whose
// source an earlier step replaces.
Plan planInStep(const Settings& recorded);

// One step of the check: how its target stands against its source now.
struct ComparedStep {
    Button setting;
    CopyStep step;
    FileComparison found;
};

// The steps of the batches that clicks would have run to reach the settings, each target
// compared with its source: the BinPatch batch's first (with the cab-view value), then the
// cab-view batch's, as the cab-view batch copies some of the files the BinPatch batch writes.
// A value outside its pair compares nothing for its setting.
std::vector<ComparedStep> compareWithSettings(const Settings& settings);
