#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The four copy batches as fixed, ordered tables of copy steps over paths relative to the
// working directory, which lies two levels below the simulator's root folder; and which batch
// brings each setting to each of its values.

// The simulator's root folder, and the folder of the trainsets below it: every path of the
// batches begins with the second.
constexpr char kSimulatorRoot[] = "../../";
constexpr char kTrainsetFolder[] = "../../trains/trainset";

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

// The two settings, each switched by its own push button.
enum class Button { BinPatch, Cabview };

// Both settings' values: binpatch 0 or 1, cabview 1024 or 1280 (any other value is held as
// read, and switches nothing).
struct Settings {
    int32_t binpatch = 0;
    int32_t cabview = 1024;

    int32_t& of(Button button) { return button == Button::BinPatch ? binpatch : cabview; }
    int32_t of(Button button) const { return button == Button::BinPatch ? binpatch : cabview; }
};

// The batch whose run brings the button's setting to this value; none for a value outside the
// setting's pair.
std::optional<Batch> batchBringing(Button button, int32_t value);

// The whole table of a batch, conditional steps included, in run order.
const std::vector<CopyStep>& batchTable(Batch batch);

// Whether a step runs in a batch given this cab-view value.
bool stepRuns(const CopyStep& step, int32_t cabview);

// The steps that a call of the batch with this cab-view value runs, in run order.
std::vector<CopyStep> stepsToRun(Batch batch, int32_t cabview);

// The same key for every spelling of one path: letter case does not matter in the tables'
// paths (they spell one folder both "Cabview" and "CABVIEW").
std::string pathKey(const std::string& path);

// Every file that some step of the four batches copies onto the target (the target spelt in any
// letter case), each once, in the order of the tables.
const std::vector<std::string>& variantsOf(const std::string& target);

// Every folder that some step of the four batches writes into, each once.
const std::vector<std::string>& foldersWritten();
