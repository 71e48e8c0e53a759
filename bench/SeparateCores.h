// The benchmark's tessera-ca stands in for an authority on another machine: its server gets cores
// of its own and the client thread one core apart from them. Left to the scheduler, the server's
// threads run on the client's core while the client waits for an answer, and the application
// measured next finds the authority's code and data in that core's caches instead of its own.
#pragma once

#include <functional>

// Runs startServer with the calling thread allowed only the cores the server is to have (a child
// process inherits them), then keeps the calling thread on the remaining core. With fewer than
// two cores at hand it only runs startServer.
void startServerOnCoresApart(const std::function<void()>& startServer);
