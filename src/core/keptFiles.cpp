#include "keptFiles.h"

#include "compareFiles.h"
#include "readFile.h"

#include <ctime>

std::vector<bool> changedByPlayer(const std::vector<CopyStep>& steps)
{
    // Each target with every file that some copy puts there, the step's own source first.
    std::vector<FileVariants> files;
    for (const CopyStep& step : steps) {
        FileVariants file{step.target, {step.source}};
        const std::vector<std::string>& variants = variantsOf(step.target);
        file.variants.insert(file.variants.end(), variants.begin(), variants.end());
        files.push_back(std::move(file));
    }
    return filesChanged(files);
}

std::string newKeptFolder()
{
    const std::time_t now = std::time(nullptr);
    char stamp[32] = "unbekannt";
    if (const std::tm* local = std::localtime(&now))
        std::strftime(stamp, sizeof stamp, "%Y-%m-%d_%H-%M-%S", local);
    const std::string base = std::string(kKeptRoot) + "/" + stamp;
    std::string folder = base;
    for (int suffix = 2; folderExists(folder.c_str()); ++suffix)
        folder = base + "_" + std::to_string(suffix);
    return folder;
}

std::vector<std::string> keptPaths(const std::string& folder, const std::vector<std::string>& liveFiles)
{
    const size_t rootLength = sizeof kSimulatorRoot - 1;
    std::vector<std::string> kept;
    for (const std::string& onDisk : spellingsOnDisk(liveFiles)) {
        const bool belowRoot = onDisk.compare(0, rootLength, kSimulatorRoot) == 0;
        kept.push_back(folder + "/" + (belowRoot ? onDisk.substr(rootLength) : onDisk));
    }
    return kept;
}
