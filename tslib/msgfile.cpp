/* msgfile.cpp - the file-system library's own message file. */
#include "tslib/msgfile.h"

twMsgFileHandle *tsMsgFile(void)
{
    // Opened once and never closed: errors raised at any time, exit
    // included, may still need its messages.
    static twMsgFileHandle *file = nullptr;
    if (!file) file = twMsgFileOpen("tslib", "tslib", nullptr, nullptr, nullptr);
    return file;
}
