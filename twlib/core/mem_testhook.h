/* mem_testhook.h - failing chosen raw allocations, for tests only.
 *
 * Not part of the installed interface. A test arms the hook, runs a piece of
 * work and sees every path that an exhausted heap can take: the Nth platform
 * allocation (counted from the arming, retries of the out-of-memory protocol
 * included) is refused, and with 'sticky' every one after it as well.
 */
#ifndef TWLIB_CORE_MEM_TESTHOOK_H
#define TWLIB_CORE_MEM_TESTHOOK_H

#ifdef __cplusplus
extern "C" {
#endif

/* Refuses the nth platform allocation from now (1: the next one), and every
 * later one when sticky is non-zero. n <= 0 disarms the hook. Resets the
 * count of twMem_TestAllocationCount. */
void twMem_TestFailAllocation(long n, int sticky);

/* Platform allocations attempted (refused ones included) since the last
 * twMem_TestFailAllocation; counted whether or not the hook is armed. */
long twMem_TestAllocationCount(void);

#ifdef __cplusplus
}
#endif

#endif
