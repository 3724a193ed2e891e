#include "clickMark.h"

#include "readFile.h"
#include "removeFile.h"
#include "replaceFile.h"

const char kClickMarkName[] = "br927.umschaltung-laeuft";

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
