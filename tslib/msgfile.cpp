/* msgfile.cpp - the file-system library's own message file. */
#include "tslib/msgfile.h"

#include <cstring>

twMsgFileHandle *tsMsgFile(void)
{
    // Opened once and kept: errors raised at any time may still need its
    // messages. Opened again only when the close-all at exit has closed it
    // (the name guards against another file at the same address).
    static twMsgFileHandle *file = nullptr;
    if (!file || !twMsgGetPath(file) || std::strcmp(twMsgGetFilename(file), "tslib") != 0)
        file = twMsgFileOpen("tslib", "tslib", nullptr, nullptr, nullptr);
    return file;
}
