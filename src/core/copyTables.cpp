#include "copyTables.h"

#include <map>

// The engine definitions, shapes and cab-view files that exist in a BinPatch and a noBinPatch
// variant, kept as data. One build rule turns them into both BinPatch tables, so the two
// differ only where a file below is marked as copied by one of them alone.

namespace {

// The variant folder that a BinPatch batch copies from: switching on, or switching off.
enum class Variant { BinPatch, NoBinPatch };

enum CopiedBy { kBothBatches, kActivationOnly, kDeactivationOnly };

struct PlainFile {
    const char* name;
    CopiedBy copiedBy = kBothBatches;
};

using FileList = std::vector<PlainFile>;

bool isCopied(const PlainFile& file, Variant variant)
{
    switch (file.copiedBy) {
    case kActivationOnly:
        return variant == Variant::BinPatch;
    case kDeactivationOnly:
        return variant == Variant::NoBinPatch;
    case kBothBatches:
        break;
    }
    return true;
}

// ZEK_BR927_prototyp
const FileList kPrototypFiles = {
    {"ZEK_BR_927-proto-k.eng"},
    {"ZEK_BR_927-proto-s.eng"},
    {"ZEK_BR_927-proto-zoo-k.eng"},
    {"ZEK_BR_927-proto-zoo-s.eng"},
    {"927-k.s"},
    {"927-s.s"},
};

// ZEK_BR927_ki
const FileList kKiFiles = {
    {"ZEK_BR_927-ki-k.eng"},
    {"ZEK_BR_927-ki-s1_oranienburg-k.eng"},
    {"ZEK_BR_927-ki-s1_oranienburg-s.eng"},
    {"ZEK_BR_927-ki-s1_wannsee-k.eng"},
    {"ZEK_BR_927-ki-s1_wannsee-s.eng"},
    {"ZEK_BR_927-ki-s3_erkner-k.eng"},
    {"ZEK_BR_927-ki-s3_erkner-s.eng"},
    {"ZEK_BR_927-ki-s3_koepenick-k.eng"},
    {"ZEK_BR_927-ki-s3_koepenick-s.eng"},
    {"ZEK_BR_927-ki-s3_ostbahnhof-k.eng"},
    {"ZEK_BR_927-ki-s3_ostbahnhof-s.eng"},
    {"ZEK_BR_927-ki-s3_spandau-k.eng"},
    {"ZEK_BR_927-ki-s3_spandau-s.eng"},
    {"ZEK_BR_927-ki-s5_cburg-k.eng"},
    {"ZEK_BR_927-ki-s5_cburg-s.eng"},
    {"ZEK_BR_927-ki-s5_grunewald-k.eng"},
    {"ZEK_BR_927-ki-s5_grunewald-s.eng"},
    {"ZEK_BR_927-ki-s5_mahlsdorf-k.eng"},
    {"ZEK_BR_927-ki-s5_mahlsdorf-s.eng"},
    {"ZEK_BR_927-ki-s5_potsdam-k.eng"},
    {"ZEK_BR_927-ki-s5_potsdam-s.eng"},
    {"ZEK_BR_927-ki-s5_strausberg-k.eng"},
    {"ZEK_BR_927-ki-s5_strausberg-s.eng"},
    {"ZEK_BR_927-ki-s5_westkreuz-k.eng"},
    {"ZEK_BR_927-ki-s5_westkreuz-s.eng"},
    {"ZEK_BR_927-ki-s7_ahrensfelde-k.eng"},
    {"ZEK_BR_927-ki-s7_ahrensfelde-s.eng"},
    {"ZEK_BR_927-ki-s7_potsdam-k.eng"},
    {"ZEK_BR_927-ki-s7_potsdam-s.eng"},
    {"ZEK_BR_927-ki-s8_birkwerd-k.eng"},
    {"ZEK_BR_927-ki-s8_birkwerd-s.eng"},
    {"ZEK_BR_927-ki-s8_gruenau-k.eng"},
    {"ZEK_BR_927-ki-s8_gruenau-s.eng"},
    {"ZEK_BR_927-ki-s9_sfeld-k.eng"},
    {"ZEK_BR_927-ki-s9_sfeld-s.eng"},
    {"ZEK_BR_927-ki-s9_spandau-k.eng"},
    {"ZEK_BR_927-ki-s9_spandau-s.eng"},
    {"ZEK_BR_927-ki-s46_kw-k.eng"},
    {"ZEK_BR_927-ki-s46_kw-s.eng"},
    {"ZEK_BR_927-ki-s46_westend-k.eng"},
    {"ZEK_BR_927-ki-s46_westend-s.eng"},
    {"ZEK_BR_927-ki-s75_spandau-k.eng"},
    {"ZEK_BR_927-ki-s75_spandau-s.eng"},
    {"ZEK_BR_927-ki-s75_wartenberg-k.eng"},
    {"ZEK_BR_927-ki-s75_wartenberg-s.eng"},
    {"ZEK_BR_927-ki-s85_gruenau-k.eng"},
    {"ZEK_BR_927-ki-s85_gruenau-s.eng"},
    {"ZEK_BR_927-ki-s85_sweide-k.eng"},
    {"ZEK_BR_927-ki-s85_sweide-s.eng"},
    {"ZEK_BR_927-ki-s85_wlust-k.eng"},
    {"ZEK_BR_927-ki-s85_wlust-s.eng"},
    {"ZEK_BR_927-ki-s.eng"},
    {"ZEK_BR_927-ki-s5_lberg-k.eng"},
    {"ZEK_BR_927-ki-s5_lberg-s.eng"},
    {"ZEK_BR_927-ki-s7_lberg-k.eng"},
    {"ZEK_BR_927-ki-s7_lberg-s.eng"},
    {"ZEK_BR_927-ki-s75_lberg-k.eng"},
    {"ZEK_BR_927-ki-s75_lberg-s.eng"},
    {"ZEK_BR_927-ki-sonder-k.eng"},
    {"ZEK_BR_927-ki-sonder-s.eng"},
};

// ZEK_BR927_serie1: only switching off restores the sonder pair
const FileList kSerie1Files = {
    {"ZEK_BR_927-k.eng"},
    {"ZEK_BR_927-s1_oranienburg-k.eng"},
    {"ZEK_BR_927-s1_oranienburg-s.eng"},
    {"ZEK_BR_927-s1_wannsee-k.eng"},
    {"ZEK_BR_927-s1_wannsee-s.eng"},
    {"ZEK_BR_927-s3_erkner-k.eng"},
    {"ZEK_BR_927-s3_erkner-s.eng"},
    {"ZEK_BR_927-s3_koepenick-k.eng"},
    {"ZEK_BR_927-s3_koepenick-s.eng"},
    {"ZEK_BR_927-s3_ostbahnhof-k.eng"},
    {"ZEK_BR_927-s3_ostbahnhof-s.eng"},
    {"ZEK_BR_927-s3_spandau-k.eng"},
    {"ZEK_BR_927-s3_spandau-s.eng"},
    {"ZEK_BR_927-s5_cburg-k.eng"},
    {"ZEK_BR_927-s5_cburg-s.eng"},
    {"ZEK_BR_927-s5_grunewald-k.eng"},
    {"ZEK_BR_927-s5_grunewald-s.eng"},
    {"ZEK_BR_927-s5_mahlsdorf-k.eng"},
    {"ZEK_BR_927-s5_mahlsdorf-s.eng"},
    {"ZEK_BR_927-s5_potsdam-k.eng"},
    {"ZEK_BR_927-s5_potsdam-s.eng"},
    {"ZEK_BR_927-s5_strausberg-k.eng"},
    {"ZEK_BR_927-s5_strausberg-s.eng"},
    {"ZEK_BR_927-s5_westkreuz-k.eng"},
    {"ZEK_BR_927-s5_westkreuz-s.eng"},
    {"ZEK_BR_927-s7_ahrensfelde-k.eng"},
    {"ZEK_BR_927-s7_ahrensfelde-s.eng"},
    {"ZEK_BR_927-s7_potsdam-k.eng"},
    {"ZEK_BR_927-s7_potsdam-s.eng"},
    {"ZEK_BR_927-s8_birkenwerder-k.eng"},
    {"ZEK_BR_927-s8_birkenwerder-s.eng"},
    {"ZEK_BR_927-s8_gruenau-k.eng"},
    {"ZEK_BR_927-s8_gruenau-s.eng"},
    {"ZEK_BR_927-s9_sfeld-k.eng"},
    {"ZEK_BR_927-s9_sfeld-s.eng"},
    {"ZEK_BR_927-s9_spandau-k.eng"},
    {"ZEK_BR_927-s9_spandau-s.eng"},
    {"ZEK_BR_927-s46_kw-k.eng"},
    {"ZEK_BR_927-s46_kw-s.eng"},
    {"ZEK_BR_927-s46_westend-k.eng"},
    {"ZEK_BR_927-s46_westend-s.eng"},
    {"ZEK_BR_927-s75_spandau-k.eng"},
    {"ZEK_BR_927-s75_spandau-s.eng"},
    {"ZEK_BR_927-s75_wartenberg-k.eng"},
    {"ZEK_BR_927-s75_wartenberg-s.eng"},
    {"ZEK_BR_927-s85_gruenau-k.eng"},
    {"ZEK_BR_927-s85_gruenau-s.eng"},
    {"ZEK_BR_927-s85_sweide-k.eng"},
    {"ZEK_BR_927-s85_sweide-s.eng"},
    {"ZEK_BR_927-s85_wlust-k.eng"},
    {"ZEK_BR_927-s85_wlust-s.eng"},
    {"ZEK_BR_927-s.eng"},
    {"ZEK_BR_927-s5_lberg-k.eng"},
    {"ZEK_BR_927-s5_lberg-s.eng"},
    {"ZEK_BR_927-s7_lberg-k.eng"},
    {"ZEK_BR_927-s7_lberg-s.eng"},
    {"ZEK_BR_927-s75_lberg-k.eng"},
    {"ZEK_BR_927-s75_lberg-s.eng"},
    {"ZEK_BR_927-sonder-k.eng", kDeactivationOnly},
    {"ZEK_BR_927-sonder-s.eng", kDeactivationOnly},
    {"927-k.s"},
    {"927-s.s"},
};

// ZEK_BR927_serie2: the s7_ahr pair comes after ZEK_BR_927-s2-s.eng when switching on and
// after the sonder pair when switching off
const FileList kSerie2Files = {
    {"ZEK_BR_927-s2-k.eng"},
    {"ZEK_BR_927-s2-s1_oranienburg-k.eng"},
    {"ZEK_BR_927-s2-s1_oranienburg-s.eng"},
    {"ZEK_BR_927-s2-s1_wannsee-k.eng"},
    {"ZEK_BR_927-s2-s1_wannsee-s.eng"},
    {"ZEK_BR_927-s2-s3_erkner-k.eng"},
    {"ZEK_BR_927-s2-s3_erkner-s.eng"},
    {"ZEK_BR_927-s2-s3_koepenick-k.eng"},
    {"ZEK_BR_927-s2-s3_koepenick-s.eng"},
    {"ZEK_BR_927-s2-s3_ostbahnhof-k.eng"},
    {"ZEK_BR_927-s2-s3_ostbahnhof-s.eng"},
    {"ZEK_BR_927-s2-s3_spandau-k.eng"},
    {"ZEK_BR_927-s2-s3_spandau-s.eng"},
    {"ZEK_BR_927-s2-s5_cburg-k.eng"},
    {"ZEK_BR_927-s2-s5_cburg-s.eng"},
    {"ZEK_BR_927-s2-s5_grunewald-k.eng"},
    {"ZEK_BR_927-s2-s5_grunewald-s.eng"},
    {"ZEK_BR_927-s2-s5_mahlsdorf-fus.eng"},
    {"ZEK_BR_927-s2-s5_mahlsdorf-k.eng"},
    {"ZEK_BR_927-s2-s5_mahlsdorf-s.eng"},
    {"ZEK_BR_927-s2-s5_potsdam-k.eng"},
    {"ZEK_BR_927-s2-s5_potsdam-s.eng"},
    {"ZEK_BR_927-s2-s5_strausberg-k.eng"},
    {"ZEK_BR_927-s2-s5_strausberg-s.eng"},
    {"ZEK_BR_927-s2-s5_westkreuz-k.eng"},
    {"ZEK_BR_927-s2-s5_westkreuz-s.eng"},
    {"ZEK_BR_927-s2-s7_ahrensfelde-k.eng"},
    {"ZEK_BR_927-s2-s7_ahrensfelde-s.eng"},
    {"ZEK_BR_927-s2-s7_potsdam-k.eng"},
    {"ZEK_BR_927-s2-s7_potsdam-s.eng"},
    {"ZEK_BR_927-s2-s8_birkwerd-k.eng"},
    {"ZEK_BR_927-s2-s8_birkwerd-s.eng"},
    {"ZEK_BR_927-s2-s8_gruenau-k.eng"},
    {"ZEK_BR_927-s2-s8_gruenau-s.eng"},
    {"ZEK_BR_927-s2-s9_sfeld-k.eng"},
    {"ZEK_BR_927-s2-s9_sfeld-s.eng"},
    {"ZEK_BR_927-s2-s9_spandau-k.eng"},
    {"ZEK_BR_927-s2-s9_spandau-s.eng"},
    {"ZEK_BR_927-s2-s46_kw-k.eng"},
    {"ZEK_BR_927-s2-s46_kw-s.eng"},
    {"ZEK_BR_927-s2-s46_westend-k.eng"},
    {"ZEK_BR_927-s2-s46_westend-s.eng"},
    {"ZEK_BR_927-s2-s75_spandau-k.eng"},
    {"ZEK_BR_927-s2-s75_spandau-s.eng"},
    {"ZEK_BR_927-s2-s75_wartenberg-k.eng"},
    {"ZEK_BR_927-s2-s75_wartenberg-s.eng"},
    {"ZEK_BR_927-s2-s85_gruenau-k.eng"},
    {"ZEK_BR_927-s2-s85_gruenau-s.eng"},
    {"ZEK_BR_927-s2-s85_sweide-k.eng"},
    {"ZEK_BR_927-s2-s85_sweide-s.eng"},
    {"ZEK_BR_927-s2-s85_wlust-k.eng"},
    {"ZEK_BR_927-s2-s85_wlust-s.eng"},
    {"ZEK_BR_927-s2-s.eng"},
    {"ZEK_BR_927-s2-s7_ahr-k.eng", kActivationOnly},
    {"ZEK_BR_927-s2-s7_ahr-s.eng", kActivationOnly},
    {"ZEK_BR_927-s2-s5_lberg-k.eng"},
    {"ZEK_BR_927-s2-s5_lberg-s.eng"},
    {"ZEK_BR_927-s2-s7_lberg-k.eng"},
    {"ZEK_BR_927-s2-s7_lberg-s.eng"},
    {"ZEK_BR_927-s2-s75_lberg-k.eng"},
    {"ZEK_BR_927-s2-s75_lberg-s.eng"},
    {"ZEK_BR_927-s2-sonder-k.eng"},
    {"ZEK_BR_927-s2-sonder-s.eng"},
    {"ZEK_BR_927-s2-s7_ahr-k.eng", kDeactivationOnly},
    {"ZEK_BR_927-s2-s7_ahr-s.eng", kDeactivationOnly},
    {"927-k.s"},
    {"927-s.s"},
};

// ZEK_BR927_SPECIAL
const FileList kSpecialFiles = {
    {"ZEK_KI_BR275_01.eng"},
    {"ZEK_KI_V100.eng"},
};

// ZEK_BR927_BR411_KI
const FileList kBr411Files = {
    {"ZEK_411_008_BO_KI.eng"},
    {"ZEK_411_008_KI.eng"},
    {"ZEK_411_012_BO_KI.eng"},
    {"ZEK_411_012_KI.eng"},
    {"ZEK_411_053_BO_KI.eng"},
    {"ZEK_411_053_KI.eng"},
    {"ZEK_411_077_BO_KI.eng"},
    {"ZEK_411_077_KI.eng"},
    {"ZEK_411_078_BO_KI.eng"},
    {"ZEK_411_078_KI.eng"},
    {"ZEK_411_508_BO_KI.eng"},
    {"ZEK_411_508_KI.eng"},
    {"ZEK_411_512_BO_KI.eng"},
    {"ZEK_411_512_KI.eng"},
    {"ZEK_411_553_BO_KI.eng"},
    {"ZEK_411_553_KI.eng"},
    {"ZEK_411_577_BO_KI.eng"},
    {"ZEK_411_577_KI.eng"},
    {"ZEK_411_578_BO_KI.eng"},
    {"ZEK_411_578_KI.eng"},
};

// ZEK_BR927_ICE1_KI and ZEK_BR927_ICE1_M_KI, each within its own folder
const FileList kIce1Files = {
    {"ZEK_BR401_KI.eng"},
    {"ZEK_BR401_rv_KI.eng"},
};

// ZEK_BR927_ICE2_KI
const FileList kIce2Files = {
    {"ZEK_BR402_BO_KI.eng"},
    {"ZEK_BR402_KI.eng"},
    {"ZEK_BR402_rv_BO_KI.eng"},
    {"ZEK_BR402_rv_KI.eng"},
    {"ZEK_BR808_BO_KI.eng"},
    {"ZEK_BR808_KI.eng"},
    {"ZEK_BR808_rv_BO_KI.eng"},
    {"ZEK_BR808_rv_KI.eng"},
};

struct TrainsetFolder {
    const char* name;
    const FileList& plainFiles;
    bool hasCabview;
};

// In the order in which the BinPatch batches visit them.
const TrainsetFolder kTrainsetFolders[] = {
    {"ZEK_BR927_prototyp", kPrototypFiles, true},
    {"ZEK_BR927_ki", kKiFiles, false},
    {"ZEK_BR927_serie1", kSerie1Files, true},
    {"ZEK_BR927_serie2", kSerie2Files, true},
    {"ZEK_BR927_SPECIAL", kSpecialFiles, false},
    {"ZEK_BR927_BR411_KI", kBr411Files, false},
    {"ZEK_BR927_ICE1_KI", kIce1Files, false},
    {"ZEK_BR927_ICE1_M_KI", kIce1Files, false},
    {"ZEK_BR927_ICE2_KI", kIce2Files, false},
};

struct CabviewBlockStep {
    const char* sourceBelowVariant; // below <trainset>/<variant>/
    const char* targetBelowFolder;  // below <trainset>/
    int32_t condition;
};

// The front texture goes into both resolution folders, and the one for the current
// resolution also onto the live texture. The live folder is spelt CABVIEW here and Cabview in
// the variant folders; case-insensitive lookup makes both reach the same folder.
const CabviewBlockStep kCabviewBlock[] = {
    {"Cabview/1024x768/927_front1024.ace", "CABVIEW/1024x768/927_front1024.ace", kAlways},
    {"Cabview/1024x768/night/927_front1024.ace", "CABVIEW/1024x768/night/927_front1024.ace", kAlways},
    {"Cabview/1280x1024/927_front1024.ace", "CABVIEW/1280x1024/927_front1024.ace", kAlways},
    {"Cabview/1280x1024/night/927_front1024.ace", "CABVIEW/1280x1024/night/927_front1024.ace", kAlways},
    {"Cabview/1024x768/927_front1024.ace", "CABVIEW/927_front1024.ace", 1024},
    {"Cabview/1024x768/night/927_front1024.ace", "CABVIEW/night/927_front1024.ace", 1024},
    {"Cabview/1280x1024/927_front1024.ace", "CABVIEW/927_front1024.ace", 1280},
    {"Cabview/1280x1024/night/927_front1024.ace", "CABVIEW/night/927_front1024.ace", 1280},
    {"Cabview/BR927.cvf", "CABVIEW/BR927.cvf", kAlways},
};

// The trainsets with a cab view, in the order of the cab-view batches.
const char* const kCabviewTrainsets[] = {"ZEK_BR927_serie1", "ZEK_BR927_serie2", "ZEK_BR927_prototyp"};

// The textures switched by resolution; their names stay the same in both resolution folders.
const char* const kCabviewTextures[] = {"927_front1024.ace", "927_left1024.ace", "927_right1024.ace"};

std::string inTrainset(const char* trainset, const std::string& below)
{
    return std::string(kTrainsetFolder) + "/" + trainset + "/" + below;
}

// For each folder: its plain files from the variant folder over the live ones, then, where
// it has a cab view, the cab-view block.
std::vector<CopyStep> buildEngfilesTable(Variant variant)
{
    const std::string variantFolder = variant == Variant::BinPatch ? "BinPatch/" : "noBinPatch/";
    std::vector<CopyStep> table;
    for (const TrainsetFolder& folder : kTrainsetFolders) {
        for (const PlainFile& file : folder.plainFiles) {
            if (isCopied(file, variant))
                table.push_back({inTrainset(folder.name, variantFolder + file.name), inTrainset(folder.name, file.name)});
        }
        if (!folder.hasCabview)
            continue;
        for (const CabviewBlockStep& step : kCabviewBlock) {
            table.push_back({inTrainset(folder.name, variantFolder + step.sourceBelowVariant),
                             inTrainset(folder.name, step.targetBelowFolder), step.condition});
        }
    }
    return table;
}

// Per trainset and texture, the day step and then the night step.
std::vector<CopyStep> buildCabfilesTable(const char* resolutionFolder)
{
    std::vector<CopyStep> table;
    const std::string resolution = std::string("Cabview/") + resolutionFolder + "/";
    for (const char* trainset : kCabviewTrainsets) {
        for (const char* texture : kCabviewTextures) {
            table.push_back({inTrainset(trainset, resolution + texture),
                             inTrainset(trainset, std::string("Cabview/") + texture), kAlways});
            table.push_back({inTrainset(trainset, resolution + "night/" + texture),
                             inTrainset(trainset, std::string("Cabview/night/") + texture), kAlways});
        }
    }
    return table;
}

} // namespace

const std::vector<CopyStep>& batchTable(Batch batch)
{
    static const std::vector<CopyStep> cabfiles1024 = buildCabfilesTable("1024x768");
    static const std::vector<CopyStep> cabfiles1280 = buildCabfilesTable("1280x1024");
    static const std::vector<CopyStep> engfilesBin = buildEngfilesTable(Variant::BinPatch);
    static const std::vector<CopyStep> engfilesNoBin = buildEngfilesTable(Variant::NoBinPatch);
    switch (batch) {
    case Batch::Cabfiles1024:
        return cabfiles1024;
    case Batch::Cabfiles1280:
        return cabfiles1280;
    case Batch::EngfilesBin:
        return engfilesBin;
    case Batch::EngfilesNoBin:
        break;
    }
    return engfilesNoBin;
}

std::optional<Batch> batchBringing(Button button, int32_t value)
{
    if (button == Button::BinPatch && (value == 0 || value == 1))
        return value == 1 ? Batch::EngfilesBin : Batch::EngfilesNoBin;
    if (button == Button::Cabview && (value == 1024 || value == 1280))
        return value == 1280 ? Batch::Cabfiles1280 : Batch::Cabfiles1024;
    return std::nullopt;
}

bool stepRuns(const CopyStep& step, int32_t cabview)
{
    return step.condition == kAlways || step.condition == cabview;
}

std::vector<CopyStep> stepsToRun(Batch batch, int32_t cabview)
{
    std::vector<CopyStep> steps;
    for (const CopyStep& step : batchTable(batch)) {
        if (stepRuns(step, cabview))
            steps.push_back(step);
    }
    return steps;
}

std::string pathKey(const std::string& path)
{
    std::string key = path;
    for (char& c : key)
        c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    return key;
}

namespace {

const Batch kAllBatches[] = {Batch::Cabfiles1024, Batch::Cabfiles1280, Batch::EngfilesBin, Batch::EngfilesNoBin};

void addOnce(std::vector<std::string>& paths, const std::string& path)
{
    for (const std::string& known : paths) {
        if (pathKey(known) == pathKey(path))
            return;
    }
    paths.push_back(path);
}

} // namespace

const std::vector<std::string>& variantsOf(const std::string& target)
{
    static const std::map<std::string, std::vector<std::string>> variants = [] {
        std::map<std::string, std::vector<std::string>> byTarget;
        for (const Batch batch : kAllBatches) {
            for (const CopyStep& step : batchTable(batch))
                addOnce(byTarget[pathKey(step.target)], step.source);
        }
        return byTarget;
    }();
    static const std::vector<std::string> none;
    const auto found = variants.find(pathKey(target));
    return found == variants.end() ? none : found->second;
}

const std::vector<std::string>& foldersWritten()
{
    static const std::vector<std::string> folders = [] {
        std::vector<std::string> written;
        for (const Batch batch : kAllBatches) {
            for (const CopyStep& step : batchTable(batch))
                addOnce(written, step.target.substr(0, step.target.find_last_of('/')));
        }
        return written;
    }();
    return folders;
}
