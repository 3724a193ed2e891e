#include "fileIO.h"

#include "compareFiles.h"
#include "keepFile.h"
#include "readFile.h"
#include "replaceFile.h"

#include <cstdio>
#include <ctime>
#include <memory>

const char kStateFileName[] = "br927.zekconfig";

namespace {

// The batch result, shared by the four batches.
int32_t fehler = 1;

FileReportObserver fileReportObserver;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using InputFile = std::unique_ptr<std::FILE, FileCloser>;

// Reads the state file with the line-end rule of the Windows runtime's text mode, done by
// hand so that every platform sees the same characters: a CR directly before an LF is
// dropped, any other CR stays.
class StateFileReader {
public:
    explicit StateFileReader(std::FILE* file) : file_(file) {}

    // Like fgets: at most size - 1 characters, ending after a line end; the buffer always
    // ends with a terminator. False when nothing could be read.
    bool readLine(char* buffer, int size)
    {
        int count = 0;
        while (count < size - 1) {
            const int c = next();
            if (c == EOF)
                break;
            buffer[count++] = static_cast<char>(c);
            if (c == '\n')
                break;
        }
        buffer[count] = '\0';
        return count > 0 && !std::ferror(file_);
    }

private:
    int next()
    {
        const int c = std::fgetc(file_);
        if (c != '\r')
            return c;
        const int following = std::fgetc(file_);
        if (following == '\n')
            return '\n';
        if (following != EOF)
            std::ungetc(following, file_);
        return c;
    }

    std::FILE* file_;
};

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// atoi on the short strings read here (at most five characters, so no overflow): leading
// white space, an optional sign, then digits up to the first non-digit; 0 without digits.
int32_t parseInteger(const char* text)
{
    while (isBlank(*text))
        ++text;
    const bool negative = *text == '-';
    if (*text == '-' || *text == '+')
        ++text;
    int32_t value = 0;
    for (; isDigit(*text); ++text)
        value = value * 10 + (*text - '0');
    return negative ? -value : value;
}

// Anything but a regular file in its place (a folder, a FIFO, a device) reads as missing,
// without waiting for a writer that may never come.
InputFile openStateFile()
{
    return InputFile(openRegularFile(kStateFileName));
}

// Every path of the batches begins so: the simulator's root lies two levels up.
const char kSimulatorRoot[] = "../../";

// A folder of its own for this run's kept files: the local time to the second, with a
// suffix where an earlier run took that name.
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

// Where a live file is kept: its path below the simulator's root as the disk spells it, in the
// run's folder, so that it goes back by hand to the very folders it came from.
std::string keptPath(const std::string& folder, const std::string& liveOnDisk)
{
    const size_t rootLength = sizeof kSimulatorRoot - 1;
    const bool belowRoot = liveOnDisk.compare(0, rootLength, kSimulatorRoot) == 0;
    return folder + "/" + (belowRoot ? liveOnDisk.substr(rootLength) : liveOnDisk);
}

std::string failureLine(const StepFailure& failure)
{
    return "Kopieren fehlgeschlagen: " + failure.source + " -> " + failure.target + " ("
           + reasonText(failure.error) + ")";
}

// For each step, its target and every file that some copy puts there, its own source first.
std::vector<FileVariants> variantsOfTargets(const std::vector<CopyStep>& steps)
{
    std::vector<FileVariants> files;
    for (const CopyStep& step : steps) {
        FileVariants file{step.target, {step.source}};
        const std::vector<std::string>& variants = variantsOf(step.target);
        file.variants.insert(file.variants.end(), variants.begin(), variants.end());
        files.push_back(std::move(file));
    }
    return files;
}

// Keeps aside each target of the steps that the player changed, in the run's folder (made
// for the first one kept); returns the steps that may copy: all but those whose target could
// not be kept, which count as failed.
std::vector<CopyStep> keepChangedTargets(const std::vector<CopyStep>& steps, BatchRun& run)
{
    const std::vector<bool> changed = filesChanged(variantsOfTargets(steps));
    std::vector<size_t> changedSteps;
    std::vector<std::string> changedTargets;
    for (size_t i = 0; i < steps.size(); ++i) {
        if (changed[i]) {
            changedSteps.push_back(i);
            changedTargets.push_back(steps[i].target);
        }
    }
    std::string folder = run.keptFolder;
    if (!changedSteps.empty() && folder.empty())
        folder = newKeptFolder();
    const std::vector<std::string> onDisk = spellingsOnDisk(changedTargets);
    std::vector<FilePair> keeps;
    for (size_t k = 0; k < changedSteps.size(); ++k)
        keeps.push_back({changedTargets[k], keptPath(folder, onDisk[k])});
    const std::vector<FileError> kept = keepFiles(keeps);
    std::vector<bool> mayCopy(steps.size(), true);
    for (size_t k = 0; k < keeps.size(); ++k) {
        const CopyStep& step = steps[changedSteps[k]];
        if (kept[k] != FileError::None) {
            mayCopy[changedSteps[k]] = false;
            run.failures.push_back({step.source, step.target, kept[k]});
            continue;
        }
        ++run.kept;
        run.keptFolder = folder;
        reportFileLine("Gesichert: " + keeps[k].source + " -> " + keeps[k].target);
    }
    std::vector<CopyStep> copies;
    for (size_t i = 0; i < steps.size(); ++i) {
        if (mayCopy[i])
            copies.push_back(steps[i]);
    }
    return copies;
}

} // namespace

std::vector<FilePair> filePairs(const std::vector<CopyStep>& steps)
{
    std::vector<FilePair> pairs;
    for (const CopyStep& step : steps)
        pairs.push_back({step.source, step.target});
    return pairs;
}

int32_t getBinPatchState()
{
    const InputFile file = openStateFile();
    if (!file)
        return -1;
    char buffer[2];
    StateFileReader reader(file.get());
    if (!reader.readLine(buffer, sizeof buffer))
        return -1;
    return parseInteger(buffer);
}

int32_t getCabviewState()
{
    const InputFile file = openStateFile();
    if (!file)
        return -1;
    // The first read passes over a first line of up to three characters; the second reads
    // the value. A longer first line makes the second read continue inside it.
    char buffer[6];
    StateFileReader reader(file.get());
    reader.readLine(buffer, 5);
    if (!reader.readLine(buffer, 6))
        return -1;
    return parseInteger(buffer);
}

// The pair replaces the file whole: a crash or a full disk leaves the old pair readable,
// never an empty file that would lock every later start out.
bool setState(int32_t binpatch, int32_t cabview)
{
    return saveState(binpatch, cabview) == FileError::None;
}

FileError saveState(int32_t binpatch, int32_t cabview)
{
    return saveOwnFile(kStateFileName, std::to_string(binpatch) + "\r\n" + std::to_string(cabview));
}

FileError saveOwnFile(const char* name, const std::string& bytes)
{
    const FileError written = writeFileReplacing(name, bytes.data(), bytes.size());
    if (written != FileError::None)
        reportFileLine(std::string("Speichern fehlgeschlagen: ") + name + " (" + reasonText(written) + ")");
    return written;
}

int32_t handleCabfiles1024()
{
    return runBatch(Batch::Cabfiles1024, 0).result;
}

int32_t handleCabfiles1280()
{
    return runBatch(Batch::Cabfiles1280, 0).result;
}

int32_t handleEngfilesBin(int32_t cabview)
{
    return runBatch(Batch::EngfilesBin, cabview).result;
}

int32_t handleEngfilesNoBin(int32_t cabview)
{
    return runBatch(Batch::EngfilesNoBin, cabview).result;
}

BatchRun runBatch(Batch batch, int32_t cabview)
{
    return runCopySteps(stepsToRun(batch, cabview));
}

// The batch result follows the steps in run order: 1 before the first, -1 from the first
// that failed on. The copies run as one call of the platform, which may order its work as it
// likes (no step reads a file that an earlier step of its batch writes).
BatchRun runCopySteps(const std::vector<CopyStep>& steps, const std::string& keptFolder)
{
    BatchRun run;
    run.keptFolder = keptFolder;
    const std::vector<FilePair> copies = filePairs(keepChangedTargets(steps, run));
    const std::vector<FileError> copied = copyFilesReplacing(copies);
    for (size_t i = 0; i < copies.size(); ++i) {
        if (copied[i] != FileError::None)
            run.failures.push_back({copies[i].source, copies[i].target, copied[i]});
    }
    fehler = 1;
    for (const StepFailure& failure : run.failures) {
        fehler = -1;
        reportFileLine(failureLine(failure));
    }
    run.result = fehler;
    return run;
}

const char* reasonText(FileError error)
{
    switch (error) {
    case FileError::SourceMissing:
        return "Quelle fehlt";
    case FileError::FolderMissing:
        return "Ordner fehlt";
    case FileError::NotAFile:
        return "keine Datei";
    case FileError::AccessDenied:
        return "Zugriff verweigert";
    case FileError::HeldByOtherProgram:
        return "von einem anderen Programm geoeffnet";
    case FileError::DiskFull:
        return "Datentraeger voll";
    case FileError::None:
    case FileError::ReadWriteError:
        break;
    }
    return "Lese- oder Schreibfehler";
}

void setFileReportObserver(FileReportObserver observer)
{
    fileReportObserver = std::move(observer);
}

void reportFileLine(const std::string& line)
{
    if (fileReportObserver)
        fileReportObserver(line);
}
