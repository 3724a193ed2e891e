#pragma once

#include <functional>
#include <string>

// Builds the add-on's content tree below a simulator root folder, for tests, the demo and
// measurements: every source of the four batches, every folder a batch writes into, and
// (optionally) a file at every live target.

// Each file holds one line naming it. The live cab-view folder of ZEK_BR927_serie2 is stored as
// "CABVIEW", the tables' other spelling; the others as "Cabview".
struct ContentTreeOptions {
    // On-disk spelling of each folder and file name created; the tables' spelling when empty.
    std::function<std::string(const std::string& name)> spelling;
    // Writes at each live target that is not also a source of some batch what one of its
    // variants holds, as the add-on installs it.
    bool createLiveFiles = true;
};

// The text with ASCII letters in lower case: how two names compare when case does not matter.
std::string asciiLowered(std::string text);

// A spelling for ContentTreeOptions that differs from the tables' in every letter.
std::string swappedCase(std::string name);

// Creates the tree below root (which must exist).
void createContentTree(const std::string& root, const ContentTreeOptions& options = {});

// The path below root that a table path ("../../trains/...") reaches, each component found
// regardless of letter case; empty when some component is missing.
std::string findUnderRoot(const std::string& root, const std::string& tablePath);

// The table path without its leading "../../", e.g. "trains/trainset/ZEK_BR927_ki/x.eng".
std::string belowRoot(const std::string& tablePath);

std::string readWholeFile(const std::string& path);
void writeWholeFile(const std::string& path, const std::string& content);
