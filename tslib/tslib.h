/* tslib.h - the file-system library's whole C interface. */
#ifndef TSLIB_TSLIB_H
#define TSLIB_TSLIB_H

#include "tslib/path.h"
#include "tslib/fileops.h"
#include "tslib/dufs.h"
#include "tslib/msgfile.h"
#include "tslib/wdir.h"
#include "tslib/search.h"
#include "tslib/loop.h"
#include "tslib/step.h"

#endif
