#pragma once

#include "replaceFile.h"
#include "copyTables.h"

#include <cstdint>
#include <functional>
#include <string>

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

// The batches return 1 when every step that ran succeeded and -1 when any failed; a failed
// step never stops the batch.
int32_t handleCabfiles1024();
int32_t handleCabfiles1280();
int32_t handleEngfilesBin(int32_t cabview);
int32_t handleEngfilesNoBin(int32_t cabview);

// The source and target of each step, for the platform's calls over whole batches.
std::vector<FilePair> filePairs(const std::vector<CopyStep>& steps);

// Runs the named batch; the cab-view batches ignore the value.
int32_t runBatch(Batch batch, int32_t cabview);

// Told of every step that failed, in run order, once the batch's copies have run and before
// its result is returned (for front ends that name the file).
using CopyFailureObserver = std::function<void(const std::string& source, const std::string& target)>;
void setCopyFailureObserver(CopyFailureObserver observer);

// Told when the state file could not be written, as it fails, with its name.
using SaveFailureObserver = std::function<void(const std::string& file)>;
void setSaveFailureObserver(SaveFailureObserver observer);
