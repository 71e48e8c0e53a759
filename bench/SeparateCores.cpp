#include "SeparateCores.h"

#include <sched.h>

#include <stdexcept>

namespace {

void allowOnly(const cpu_set_t& cores) {
    if (sched_setaffinity(0, sizeof cores, &cores) != 0)
        throw std::runtime_error("cannot place the benchmark's threads on their cores");
}

}  // namespace

void startServerOnCoresApart(const std::function<void()>& startServer) {
    cpu_set_t allowed;
    CPU_ZERO(&allowed);
    if (sched_getaffinity(0, sizeof allowed, &allowed) != 0 || CPU_COUNT(&allowed) < 2) {
        startServer();
        return;
    }
    int clientCore = 0;
    while (!CPU_ISSET(clientCore, &allowed)) ++clientCore;
    cpu_set_t serverCores = allowed;
    CPU_CLR(clientCore, &serverCores);
    allowOnly(serverCores);
    startServer();
    cpu_set_t client;
    CPU_ZERO(&client);
    CPU_SET(clientCore, &client);
    allowOnly(client);
}
