/* convert.h - value conversion between type specifications, quiet value
 * checks, and the byte-block type.
 *
 * A conversion takes a value of one specification (twlib/pref/types.h) and
 * makes a value of another, left in twTypeReturnDataV. It tries, in order:
 * a converter registered for the pair; the built-in rules between integers
 * (twIntTB), enumerations (twEnumTB) and masks (twMaskTB), which pass the
 * word on when it fits the target; the index shared by the two-valued
 * enumerations twYesNoTS, twOnOffTS and twTrueFalseTS; and finally text:
 * the source formats the value and the target parses that text.
 *
 * Refusals are exceptions (twlib/err/except.h) built from the library's
 * catalogue "twlib", without location:
 *   1401 TW_EX_POSTCOND: a built-in rule refuses the value; arguments
 *        (%s %ld %ld) the value as decimal text, the smallest and the
 *        largest value the target takes
 *   1409 TW_EX_POSTCOND: no way from the source to the target (the target
 *        has no behaviour or cannot parse, or the source has no behaviour
 *        to write the value with); arguments (%s %s %s) the target's name,
 *        the source's name and the value's text, "<null>" standing for
 *        each that is missing
 *   1155 TW_EX_PRECOND: a broken precondition (no arguments)
 *   and whatever the target's parse or a registered converter raises.
 * A refused conversion leaves twTypeReturnDataV unchanged (unless a
 * registered converter changed it before raising) and holds nothing back.
 *
 * Single-threaded: the converter table and the check buffer are
 * process-wide; both are released by exit handlers (twlib/core/exit.h).
 */
#ifndef TWLIB_PREF_CONVERT_H
#define TWLIB_PREF_CONVERT_H

#include "twlib/core/base.h"
#include "twlib/pref/byteblock.h"
#include "twlib/pref/types.h"

#ifdef __cplusplus
extern "C" {
#endif

/* A direct converter: reads the value through 'valueAddress' and leaves
 * the new value in twTypeReturnDataV, owned by the caller of
 * twTypeConvert. It may raise; the conversion then raises the same. It
 * must not register or replace converters. */
typedef void (*twTypeConverterFn)(const twTypeSpec *fromSpec, const twTypeSpec *toSpec,
                                  const twTypedata *valueAddress);

/* Converts the value at 'valueAddress' from 'fromSpec' to 'toSpec' and
 * leaves the result in twTypeReturnDataV. A target of twVoidTS does
 * nothing at all. The result is the caller's: release it with
 * twTypeFreeValue(toSpec, ...) (values passed on by the built-in rules are
 * immediate words). Raises as the header says; a null 'valueAddress'
 * (other than for twVoidTS) raises 1155. */
void twTypeConvert(const twTypeSpec *fromSpec, const twTypeSpec *toSpec, const twTypedata *valueAddress);

/* Registers 'function' for the ordered pair (fromSpec, toSpec), replacing
 * (and releasing the record of) an earlier registration for that pair.
 * The specifications are known by their addresses and must outlive the
 * registration. A null function or specification raises 1155 and changes
 * nothing. */
void twTypeAddConverter(twTypeConverterFn function, const twTypeSpec *fromSpec, const twTypeSpec *toSpec);

/* 1 if the value at 'valueAddress' is acceptable to 'spec', else 0; never
 * raises and leaves no pending error. Only the behaviours twIntTB,
 * twStringTB, twFileTB, twEnumTB, twFloatTB and twMaskTB are checked (the
 * value's text is parsed again); values of any other specification (or of
 * a null one) are acceptable. A null 'valueAddress' with a checked
 * behaviour gives 0. twTypeReturnDataV is as it was before the call. */
int twTypeCheckVal(const twTypeSpec *spec, const twTypedata *valueAddress);

/* The byte-block type: values are twByteBlock pointers (a null value is
 * an empty block). Parse makes a block of the text's characters; print
 * emits "<size> bytes: <data>..." once, the data being the whole block
 * when it holds at most 32 bytes, else its first 32 (cut at a zero byte).
 * Copy adds a holder, free drops one. */
extern twTypeSpec twByteBlockTS; /* "twByteBlockVT", twPointer4TB */

#ifdef __cplusplus
}
#endif

#endif
