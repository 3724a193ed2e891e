#include "clickMark.h"

#include "ownFile.h"
#include "readFile.h"
#include "removeFile.h"

// No player's file is called so.
const char kClickMarkName[] = "br927.umschaltung-laeuft";

FileError markClickUnderWay()
{
    return saveOwnFile(kClickMarkName, "");
}

// The spelling found is the one removed: a mark spelt otherwise would be found at every start.
FileError clearClickMark()
{
    return removeFileDurably(spellingsOnDisk({kClickMarkName}).front().c_str());
}

bool clickMarkFound()
{
    return filesExist({kClickMarkName}).front();
}

FileError clickMarkBlocked()
{
    return nonFileExists(kClickMarkName) ? FileError::NotAFile : FileError::None;
}
