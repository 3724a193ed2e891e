#include "ownFile.h"

#include "fileReport.h"
#include "replaceFile.h"

FileError saveOwnFile(const char* name, const std::string& bytes)
{
    const FileError written = writeFileReplacing(name, bytes.data(), bytes.size());
    if (written != FileError::None)
        reportFileLine(std::string("Speichern fehlgeschlagen: ") + name + " (" + reasonText(written) + ")");
    return written;
}
