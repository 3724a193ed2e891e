// Builds the demo simulator tree: every variant file names itself, the live files hold the
// noBinPatch variants at 1024x768, and the tool's working directory holds a state file that
// says so.

#include "contentTree.h"
#include "fileIO.h"

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
    if (!setState(0, 1024) || handleEngfilesNoBin(1024) != 1 || handleCabfiles1024() != 1) {
        std::cerr << "demo-tree: could not set up the live files\n";
        return 1;
    }
    return 0;
}
