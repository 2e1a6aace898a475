/* msgfile.cpp - the file-system library's own message file. */
#include "tslib/msgfile.h"

twMsgFileHandle *tsMsgFile(void)
{
    // Opened once and kept: errors raised at any time may still need its
    // messages. Opened again only when the close-all at exit has closed it.
    static twMsgFileHandle *file = nullptr;
    if (!file || !twMsgGetPath(file)) file = twMsgFileOpen("tslib", "tslib", nullptr, nullptr, nullptr);
    return file;
}
