/* twlib.h - the runtime library's whole C interface. */
#ifndef TWLIB_TWLIB_H
#define TWLIB_TWLIB_H

#include "twlib/core/base.h"
#include "twlib/core/mem.h"
#include "twlib/core/freelist.h"
#include "twlib/core/exit.h"
#include "twlib/text/str.h"
#include "twlib/text/strutil.h"
#include "twlib/text/strbuf.h"
#include "twlib/text/strtok.h"
#include "twlib/text/tklex.h"
#include "twlib/text/literal.h"
#include "twlib/text/sprintf.h"
#include "twlib/containers/list.h"
#include "twlib/containers/sym.h"
#include "twlib/containers/dlist.h"
#include "twlib/regexp/regexp.h"
#include "twlib/cvt/twint64.h"
#include "twlib/cvt/radix.h"
#include "twlib/err/error.h"
#include "twlib/err/report.h"
#include "twlib/err/except.h"
#include "twlib/err/assert.h"
#include "twlib/err/signal.h"
#include "twlib/err/errstream.h"
#include "twlib/err/msgfile.h"
#include "twlib/pref/byteblock.h"
#include "twlib/pref/convert.h"

#endif
