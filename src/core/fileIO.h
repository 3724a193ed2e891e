#pragma once

#include "copyTables.h"
#include "fileError.h"
#include "filePair.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// The state file "br927.zekconfig" in the working directory, and the four copy batches.
// Nothing here shows a message: results go back to the controller.

// The BinPatch value: the first character of the file as a digit (0 for any other
// character), or -1 when the file is missing or empty.
int32_t getBinPatchState();

// The cab-view value: read from where the first line ends, if it is at most three characters
// long, at most five characters; -1 when the file is missing or nothing follows.
int32_t getCabviewState();

// Replaces the file whole with both values ("<binpatch> CR LF <cabview>"). Returns false, with
// the file as it was, when the new pair could not be recorded.
bool setState(int32_t binpatch, int32_t cabview);

// The same, telling why the pair could not be recorded (FileError::None when it was).
FileError saveState(int32_t binpatch, int32_t cabview);

// Replaces one of the tool's own files (the state file, the mark of a click) whole with the
// bytes; says so as it fails, and tells why (FileError::None when it was written).
FileError saveOwnFile(const char* name, const std::string& bytes);

// The name of the state file, as the player is told it.
extern const char kStateFileName[];

// The batches return 1 when every step that ran succeeded and -1 when any failed; a failed
// step never stops the batch.
int32_t handleCabfiles1024();
int32_t handleCabfiles1280();
int32_t handleEngfilesBin(int32_t cabview);
int32_t handleEngfilesNoBin(int32_t cabview);

// The source and target of each step, for the platform's calls over whole batches.
std::vector<FilePair> filePairs(const std::vector<CopyStep>& steps);

// A step that was not done, and why.
struct StepFailure {
    std::string source;
    std::string target;
    FileError error;
};

// What one run of copy steps did.
struct BatchRun {
    int32_t result = 1;                // 1 when every step succeeded, else -1
    std::vector<StepFailure> failures; // those whose target could not be kept, then the copies
    size_t kept = 0;                   // the player's changed files kept aside ...
    std::string keptFolder;            // ... in this folder (empty when none)
};

// Runs copy steps as a batch does. A target that holds none of the files that any batch copies
// onto it was changed by the player: before anything replaces it, it is kept aside in a folder
// of this run's own below kKeptRoot, at its path below the simulator's root, and a step whose
// target could not be kept is not copied. A run that goes on from another of the same click
// keeps its files in that one's folder.
BatchRun runCopySteps(const std::vector<CopyStep>& steps, const std::string& keptFolder = std::string());

// Runs the named batch; the cab-view batches ignore the value.
BatchRun runBatch(Batch batch, int32_t cabview);

// Where the player's changed files are kept, in the working directory.
constexpr char kKeptRoot[] = "Sicherungen";

// What the player is told of why a file could not be handled.
const char* reasonText(FileError error);

// Told of every line a front end may show about single files, as they happen: a copy or the
// state file that failed, a file kept aside, a missing folder.
using FileReportObserver = std::function<void(const std::string& line)>;
void setFileReportObserver(FileReportObserver observer);

// Tells the observer, if there is one.
void reportFileLine(const std::string& line);
