#include "contentTree.h"

#include "copyTables.h"

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace fs = std::filesystem;

namespace {

const Batch kAllBatches[] = {Batch::Cabfiles1024, Batch::Cabfiles1280, Batch::EngfilesBin, Batch::EngfilesNoBin};
const char kRootPrefix[] = "../../";
const char kTrainsetFolder[] = "trains/trainset/";

std::vector<std::string> components(const std::string& relative)
{
    std::vector<std::string> parts;
    for (const fs::path& part : fs::path(relative))
        parts.push_back(part.string());
    return parts;
}

// The entry of folder equal to name ignoring case (as written when it exists); empty if none.
std::string entryIgnoringCase(const fs::path& folder, const std::string& name)
{
    std::error_code error;
    if (fs::exists(folder / name, error))
        return name;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, error)) {
        const std::string candidate = entry.path().filename().string();
        if (asciiLowered(candidate) == asciiLowered(name))
            return candidate;
    }
    return {};
}

std::string spelt(const ContentTreeOptions& options, const std::string& name)
{
    return options.spelling ? options.spelling(name) : name;
}

// Walks below root, creating each missing folder in the chosen spelling; returns the path of
// the last component, which is not created.
fs::path prepareFolders(const fs::path& root, const std::string& relative, const ContentTreeOptions& options)
{
    const std::vector<std::string> parts = components(relative);
    fs::path current = root;
    for (size_t i = 0; i + 1 < parts.size(); ++i) {
        std::string entry = entryIgnoringCase(current, parts[i]);
        if (entry.empty()) {
            entry = spelt(options, parts[i]);
            fs::create_directory(current / entry);
        }
        current /= entry;
    }
    const std::string existing = entryIgnoringCase(current, parts.back());
    return current / (existing.empty() ? spelt(options, parts.back()) : existing);
}

// The live cab-view folders come first, so that their spelling is the one on disk.
void createLiveCabviewFolders(const fs::path& root, const ContentTreeOptions& options)
{
    for (const char* trainset : {"ZEK_BR927_prototyp", "ZEK_BR927_serie1", "ZEK_BR927_serie2"}) {
        const std::string cabview = std::string(trainset) == "ZEK_BR927_serie2" ? "CABVIEW" : "Cabview";
        const fs::path folder = prepareFolders(root, std::string(kTrainsetFolder) + trainset + "/x", options);
        fs::create_directory(folder.parent_path() / spelt(options, cabview));
    }
}

} // namespace

std::string asciiLowered(std::string text)
{
    for (char& c : text)
        c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    return text;
}

std::string swappedCase(std::string name)
{
    for (char& c : name)
        c = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ? static_cast<char>(c ^ ('a' - 'A')) : c;
    return name;
}

std::string belowRoot(const std::string& tablePath)
{
    if (tablePath.compare(0, sizeof kRootPrefix - 1, kRootPrefix) != 0)
        throw std::invalid_argument("not a content path: " + tablePath);
    return tablePath.substr(sizeof kRootPrefix - 1);
}

namespace {

// The file whose content a file of the installed add-on holds: itself, unless some batch
// writes it; then, as the add-on installs it, the content of its first variant.
std::string originOf(const std::string& tablePath)
{
    const std::vector<std::string>& variants = variantsOf(tablePath);
    return variants.empty() ? tablePath : originOf(variants.front());
}

// What a file of the tree holds: a line naming the file whose content it has.
std::string contentOf(const std::string& tablePath)
{
    return belowRoot(originOf(tablePath)).substr(sizeof kTrainsetFolder - 1) + "\n";
}

} // namespace

void createContentTree(const std::string& root, const ContentTreeOptions& options)
{
    createLiveCabviewFolders(root, options);
    std::set<std::string> sources;
    std::set<std::string> targets;
    // A live file reached through both spellings of its folder is written once.
    std::set<std::string> written;
    for (const Batch batch : kAllBatches) {
        for (const CopyStep& step : batchTable(batch)) {
            sources.insert(step.source);
            written.insert(asciiLowered(step.source));
            targets.insert(step.target);
        }
    }
    for (const std::string& source : sources) {
        const fs::path path = prepareFolders(root, belowRoot(source), options);
        writeWholeFile(path.string(), contentOf(source));
    }
    for (const std::string& target : targets) {
        const fs::path path = prepareFolders(root, belowRoot(target), options);
        if (options.createLiveFiles && written.insert(asciiLowered(target)).second)
            writeWholeFile(path.string(), contentOf(target));
    }
}

std::string findUnderRoot(const std::string& root, const std::string& tablePath)
{
    fs::path current = root;
    for (const std::string& part : components(belowRoot(tablePath))) {
        const std::string entry = entryIgnoringCase(current, part);
        if (entry.empty())
            return {};
        current /= entry;
    }
    return current.string();
}

std::string readWholeFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

void writeWholeFile(const std::string& path, const std::string& content)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
    if (!out.flush())
        throw std::runtime_error("cannot write " + path);
}
