#include "Interruption.h"

#include <unistd.h>

#include <cstdio>

namespace {

volatile sig_atomic_t g_interrupted = 0;

void remember(int) {
    g_interrupted = 1;
    static const char kNote[] =
        "\ntessera: interrupted; the submission under way ends first, so that the store stays in "
        "order (Ctrl-C again stops at once)\n";
    // Nothing to do when the terminal is gone: the flag is what counts.
    if (write(STDERR_FILENO, kNote, sizeof kNote - 1) < 0) return;
}

}  // namespace

DeferredInterrupt::DeferredInterrupt() {
    struct sigaction deferring {};
    deferring.sa_handler = remember;
    sigemptyset(&deferring.sa_mask);
    // The second Ctrl-C finds the default action again.
    deferring.sa_flags = SA_RESETHAND | SA_RESTART;
    sigaction(SIGINT, &deferring, &m_previous);
}

DeferredInterrupt::~DeferredInterrupt() { sigaction(SIGINT, &m_previous, nullptr); }

bool interrupted() { return g_interrupted != 0; }

void endIfInterrupted() {
    if (!interrupted()) return;
    std::fflush(nullptr);
    signal(SIGINT, SIG_DFL);
    raise(SIGINT);
}
