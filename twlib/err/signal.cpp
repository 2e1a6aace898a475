/* signal.cpp - hardware faults turned into exceptions after twExInit.
 *
 * The handler runs on the interrupted stack, builds an error record
 * (app "twlib", number 2001) and throws it; the accepting frame's
 * siglongjmp restores the signal mask saved at its push, so the same fault
 * can be caught again later. The handler keeps plain data only.
 */
#include "twlib/err/signal.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <unistd.h>

#include "twlib/err/error.h"
#include "twlib/err/except.h"
#include "twlib/err/report.h"

namespace {

bool initDone;
char programName[256];
twExCatchSignalsFn catchSignalsReader;

// Set from the handler's start until the throw jumps away; a signal that
// finds it set arrived while the handler or the uncaught report it started
// was at work.
volatile sig_atomic_t inHandler;

uint32_t tagOf(int sig)
{
    switch (sig) {
    case SIGFPE:
        return TW_EX_FPE;
    case SIGBUS:
        return TW_EX_BUSERR;
    default:
        return TW_EX_SEGV;
    }
}

void writeAll(const char *text)
{
    size_t left = strlen(text);
    while (left > 0) {
        ssize_t n = write(STDERR_FILENO, text, left);
        if (n <= 0) return;
        text += n;
        left -= static_cast<size_t>(n);
    }
}

void onSignal(int sig);

int install(int sig)
{
    struct sigaction action;
    memset(&action, 0, sizeof action);
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_NODEFER;
    return sigaction(sig, &action, nullptr);
}

void onSignal(int sig)
{
    uint32_t tag = tagOf(sig);
    if (inHandler) {
        // Only async-signal-safe calls from here on: the first fault's work
        // may have left anything half done.
        writeAll("\n*** Fatal error encountered ***\ntwlib: Fatal: ");
        writeAll(twExTagString(tag));
        writeAll(" while handling an earlier signal\n");
        _exit(3);
    }
    inHandler = 1;
    install(sig);

    char text[512];
    snprintf(text, sizeof text,
             "%s - %s.\nReceipt of this message indicates an unspecified\nsystem-level error.\n\n"
             "1.  Save your data under a new name.\n\n2.  Exit the tool.",
             programName, twExTagString(tag));
    twExThrow(tag, twErrCreate(nullptr, "twlib", 2001, TW_SEV_ERROR, text));
}

// The file name of 'path' without directory and extension.
void takeProgramName(const char *path)
{
    const char *base = strrchr(path, '/');
    base = base ? base + 1 : path;
    size_t len = strlen(base);
    const char *dot = strrchr(base, '.');
    if (dot && dot != base) len = static_cast<size_t>(dot - base);
    if (len >= sizeof programName) len = sizeof programName - 1;
    memcpy(programName, base, len);
    programName[len] = '\0';
}

// The preference "catch_signals": Yes unless the preference module, once
// installed, reads No from the arguments.
bool catchSignals(int *argc, char **argv)
{
    return catchSignalsReader ? catchSignalsReader(argc, argv) != 0 : true;
}

}  // namespace

void twEx_LeavingSignal(void)
{
    inHandler = 0;
}

void twEx_SetCatchSignalsReader(twExCatchSignalsFn reader)
{
    catchSignalsReader = reader;
}

const char *twEx_ProgramName(void)
{
    return programName;
}

void twExInit(int *argc, char **argv)
{
    if (initDone) return;
    initDone = true;
    if (argv && (!argc || *argc > 0) && argv[0]) takeProgramName(argv[0]);
    if (!catchSignals(argc, argv)) return;
    static const int kSignals[] = {SIGFPE, SIGBUS, SIGSEGV};
    for (int sig : kSignals)
        if (install(sig) != 0) twErrYell("trSignal failed\n");
}
