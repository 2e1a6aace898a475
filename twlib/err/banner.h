/* banner.h - the version banner and the library's version globals.
 *
 * A banner is three pieces: the program's name and version, the library's
 * product line with its version and build date, and a copyright notice:
 *
 *     conv - V1.0; Lumenpane 5.3.2 (052595)
 *     Copyright (c) 1990-1995 Tarnwerks. All rights reserved.
 *
 * The build date is month, day and the last two digits of the year; the
 * copyright runs from the library's first year to its build year. The
 * compatible version globals (twCompatibleVersionV, twCompatibleExeTagV)
 * belong to the working-directory search and are declared with it; this
 * header includes them.
 */
#ifndef TWLIB_ERR_BANNER_H
#define TWLIB_ERR_BANNER_H

#include "tslib/wdir.h"
#include "twlib/core/base.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Banner buffers hold this many bytes; a longer banner is cut to fit. */
enum { TW_BANNER_SIZE = 512 };

/* The library's version, major 5, minor 3, patch 2, without points: "532". */
extern const char *twCurrentVersionV;
/* A pool copy of the last banner built by twBannerStr or twBanner (with the
 * program's name and version in front), or null before the first. Owned by
 * the library: the next banner frees it. */
extern char *twCurrentBannerV;
/* A pool copy of the program name of that banner, or null. Owned likewise. */
extern char *twCurrentNameV;

/* Writes the library banner, its two lines each ending in a newline, into
 * 'buf' (TW_BANNER_SIZE bytes) and returns 'buf'; null for a null buffer.
 * Cannot fail. */
char *twBannerStrWV(char *buf);
/* Writes "<name> - V<version>; " and the library banner into 'buf'
 * (TW_BANNER_SIZE bytes; a longer text is cut to TW_BANNER_SIZE - 1
 * characters) and records the text and the name in twCurrentBannerV and
 * twCurrentNameV, freeing the ones recorded before. A null name or version
 * reads as "". Returns 'buf'; a null buffer writes and records nothing and
 * returns null. */
char *twBannerStr(char *buf, const char *name, const char *version);
/* As twBannerStr in a buffer of its own, then prints the text as it stands
 * on standard output. */
void twBanner(const char *name, const char *version);

#ifdef __cplusplus
}
#endif

#endif
