/* regexp_testhook.h - steering the matcher's failure memory, for tests only.
 *
 * Not part of the installed interface. twRegexpExec starts remembering
 * failed (node, position) pairs only after a number of backtracks, so that
 * ordinary matches allocate nothing; a test lowers the threshold to run
 * every search with the memory on.
 */
#ifndef TWLIB_REGEXP_REGEXP_TESTHOOK_H
#define TWLIB_REGEXP_REGEXP_TESTHOOK_H

#ifdef __cplusplus
extern "C" {
#endif

/* Failed pairs are remembered after 'backtracks' backtracks of one
 * twRegexpExec (0: from the first); a negative value restores the default. */
void twRegexp_TestMemoAfter(long backtracks);

#ifdef __cplusplus
}
#endif

#endif
