#include "fileReport.h"

#include "clickLock.h"

namespace {

FileReportObserver fileReportObserver;

std::string summary(const char* name, const SettingCheck& setting)
{
    const std::string head = std::string(name) + ' ' + std::to_string(setting.value) + ": ";
    if (!setting.valid)
        return head + "kein gueltiger Wert";
    return head + std::to_string(setting.inOrder) + " von " + std::to_string(setting.steps) + " Dateien stimmen";
}

std::string findingLine(const StepFinding& finding)
{
    switch (finding.found) {
    case FileComparison::SourceMissing:
        return "Quelle fehlt: " + finding.step.source;
    case FileComparison::TargetMissing:
        return "Fehlt: " + finding.step.target;
    case FileComparison::Different:
    case FileComparison::Same:
        break;
    }
    return "Abweichend: " + finding.step.target;
}

} // namespace

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

std::string withReason(const std::string& text, FileError error)
{
    return text + " (" + reasonText(error) + ")";
}

std::string keepLine(const FilePair& keep, FileError kept)
{
    const std::string paths = keep.source + " -> " + keep.target;
    return kept == FileError::None ? "Gesichert: " + paths : withReason("Sichern fehlgeschlagen: " + paths, kept);
}

std::string copyFailedLine(const CopyStep& step, FileError error)
{
    return withReason("Kopieren fehlgeschlagen: " + step.source + " -> " + step.target, error);
}

std::string folderMissingLine(const char* folder)
{
    return std::string("Ordner fehlt: ") + folder;
}

std::string lockBusyLine()
{
    return "Sperre belegt: " + ClickLock::name();
}

std::string planLine(const PlannedStep& each)
{
    std::string line = each.step.source + " -> " + each.step.target;
    if (each.action == StepAction::Refused && each.refusal == FileError::SourceMissing)
        line += " (fehlt)";
    if (each.action == StepAction::KeepThenReplace)
        line += " (wird gesichert)";
    return line;
}

std::vector<std::string> checkLines(const TreeCheck& check)
{
    std::vector<std::string> lines = {summary("BinPatch", check.binPatch), summary("Cabview", check.cabview)};
    for (const StepFinding& finding : check.findings)
        lines.push_back(findingLine(finding));
    return lines;
}
