/* twlib.h - the runtime library's whole C interface. */
#ifndef TWLIB_TWLIB_H
#define TWLIB_TWLIB_H

#include "twlib/core/mem.h"
#include "twlib/core/freelist.h"
#include "twlib/core/exit.h"
#include "twlib/text/str.h"
#include "twlib/text/strbuf.h"
#include "twlib/text/strtok.h"
#include "twlib/text/tklex.h"
#include "twlib/text/sprintf.h"
#include "twlib/containers/list.h"
#include "twlib/containers/sym.h"
#include "twlib/containers/dlist.h"
#include "twlib/err/report.h"
#include "twlib/err/except.h"
#include "twlib/err/msgfile.h"
#include "twlib/regexp/regexp.h"

#endif
