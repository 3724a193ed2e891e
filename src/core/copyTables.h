#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The four copy batches as fixed, ordered tables of copy steps over paths relative to the
// working directory, which lies two levels below the simulator's root folder.

// Condition value of a step that runs whatever the batch's cab-view value.
constexpr int32_t kAlways = 0;

struct CopyStep {
    std::string source;
    std::string target;
    // kAlways, or the cab-view value (1024 or 1280) for which alone the step runs.
    int32_t condition = kAlways;
};

enum class Batch {
    Cabfiles1024,  // 1024x768 cab-view textures live
    Cabfiles1280,  // 1280x1024 cab-view textures live
    EngfilesBin,   // BinPatch variants live
    EngfilesNoBin, // noBinPatch variants live
};

// The whole table of a batch, conditional steps included, in run order.
const std::vector<CopyStep>& batchTable(Batch batch);

// Whether a step runs in a batch given this cab-view value.
bool stepRuns(const CopyStep& step, int32_t cabview);

// The steps that a call of the batch with this cab-view value runs, in run order.
std::vector<CopyStep> stepsToRun(Batch batch, int32_t cabview);

// Every file that some step of the four batches copies onto the target (the target spelt in any
// letter case), each once, in the order of the tables.
const std::vector<std::string>& variantsOf(const std::string& target);

// Every folder that some step of the four batches writes into, each once.
const std::vector<std::string>& foldersWritten();
