#include "clickMark.h"

#include "fileIO.h"
#include "readFile.h"
#include "removeFile.h"
#include "replaceFile.h"

#include <string>

// No player's file is called so.
const char kClickMarkName[] = "br927.umschaltung-laeuft";

FileError markClickUnderWay()
{
    const FileError written = writeFileReplacing(kClickMarkName, "", 0);
    if (written != FileError::None)
        reportFileLine(std::string("Speichern fehlgeschlagen: ") + kClickMarkName + " (" + reasonText(written) + ")");
    return written;
}

// The spelling found is the one removed: a mark spelt otherwise would be found at every start.
bool clearClickMark()
{
    return removeFileDurably(spellingsOnDisk({kClickMarkName}).front().c_str());
}

bool clickMarkFound()
{
    return filesExist({kClickMarkName}).front();
}
