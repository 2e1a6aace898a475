/* signal.h - hardware faults turned into exceptions: what the throw needs
 * to know about the signal handler.
 *
 * twExInit (except.h) installs the handler for floating-point exceptions,
 * bus errors and segmentation violations. The handler builds an error and
 * throws it from inside the signal context; a fault while it is at work
 * (or while an uncaught one is being reported) cannot be handled the same
 * way, so it ends the process at once, with exit status 3 and a line on
 * standard error. The handler is installed without blocking its own signal
 * (SA_NODEFER) so that such a second fault reaches it instead of killing
 * the process; the catch frames restore the signal mask of their push.
 */
#ifndef TWLIB_ERR_SIGNAL_H
#define TWLIB_ERR_SIGNAL_H

#ifdef __cplusplus
extern "C" {
#endif

/* Called by the throw right before it jumps to a frame: the handler's work
 * is done and a later fault is a new one. Safe to call outside a handler. */
void twEx_LeavingSignal(void);

#ifdef __cplusplus
}
#endif

#endif
