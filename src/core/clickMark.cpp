#include "clickMark.h"

#include "readFile.h"
#include "removeFile.h"
#include "replaceFile.h"

namespace {

// No player's file is called so.
const char kClickMarkName[] = "br927.umschaltung-laeuft";

} // namespace

bool markClickUnderWay()
{
    return writeFileReplacing(kClickMarkName, "", 0) == FileError::None;
}

bool clearClickMark()
{
    return removeFileDurably(kClickMarkName);
}

bool clickMarkFound()
{
    return filesExist({kClickMarkName}).front();
}
