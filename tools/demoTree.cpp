// Builds the demo simulator tree: every variant file names itself, the live files hold the
// noBinPatch variants at 1024x768, and the tool's working directory holds a state file that
// says so.

#include "contentTree.h"
#include "carryOut.h"
#include "stateFile.h"

#include <filesystem>
#include <iostream>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::cerr << "usage: demo-tree <simulator root> <working directory below it>\n";
        return 2;
    }
    namespace fs = std::filesystem;
    const fs::path root = argv[1];
    fs::create_directories(root);
    ContentTreeOptions options;
    options.createLiveFiles = false; // the two batches below write every live file
    createContentTree(root.string(), options);

    fs::create_directories(argv[2]);
    fs::current_path(argv[2]);
    const Settings off1024{0, 1024};
    if (setState(off1024.binpatch, off1024.cabview) != FileError::None || !carryOut(planInStep(off1024)).succeeded()) {
        std::cerr << "demo-tree: could not set up the live files\n";
        return 1;
    }
    return 0;
}
