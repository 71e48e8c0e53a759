// Ctrl-C while an application is submitted. The component makes the key, registers its request
// in the store and sends it in one call, and the authority may take the request at any moment of
// that exchange: a process that died there would leave a request nobody knows the fate of. For
// the length of such a call SIGINT is therefore only remembered (and a line says so); the call
// ends, the store is put in order, the outcome is printed, and tessera then ends by SIGINT, as the
// shell that started it expects. A second Ctrl-C ends it at once.
#pragma once

#include <signal.h>

class DeferredInterrupt {
public:
    DeferredInterrupt();
    DeferredInterrupt(const DeferredInterrupt&) = delete;
    DeferredInterrupt& operator=(const DeferredInterrupt&) = delete;
    ~DeferredInterrupt();

private:
    struct sigaction m_previous {};
};

// Whether a Ctrl-C came while one was deferred.
bool interrupted();
// Ends the process by SIGINT when a Ctrl-C was deferred, after flushing what it printed.
void endIfInterrupted();
