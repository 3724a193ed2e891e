#pragma once

#include "fileError.h"
#include "plan.h"

#include <string>
#include <vector>

// Carrying out a plan through the platform, in its rounds: every live file to keep is kept
// aside first, then the copies run. Nothing is decided here that the plan has decided.

// What came of one step.
enum class StepResult {
    Done,       // its live file holds its source's bytes
    InPlace,    // planned so: nothing was written
    Refused,    // planned so: nothing was written
    KeepFailed, // its live file could not be kept aside, so it was left as it is
    CopyFailed, // its live file could not be replaced, and is as it was
    LeftAlone,  // an earlier step could not keep its live file aside, so it was left as it is
};

struct StepOutcome {
    StepResult result = StepResult::Done;
    FileError error = FileError::None; // why, when the step failed
};

struct PlanRun {
    std::vector<StepOutcome> steps; // one per step of the plan
    size_t kept = 0;                // the player's files kept aside, in the plan's keptFolder

    // Whether every step is done or was in place.
    bool succeeded() const;
};

// Keeps aside, then copies, as planned; tells each line as it happens (fileReport.h). A plan
// that changes nothing writes nothing.
PlanRun carryOut(const Plan& plan);

// A live file that a run left as it was, and why.
struct FileFailure {
    std::string target; // as the tables spell it
    FileError error;
};

// The live files that the run left as they were, each once: those that could not be kept
// aside first, then those that could not be copied, in the order of the steps.
std::vector<FileFailure> filesNotCopied(const Plan& plan, const PlanRun& run);
