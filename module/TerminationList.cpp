#include "module/TerminationList.h"

#include <mutex>
#include <new>
#include <utility>
#include <vector>

#include "Utility/Immortal.h"

namespace {

std::mutex g_terminationLock;
// Run by the unload hook, which may come after the statics are gone.
constinit Immortal<std::vector<std::function<void()>>> g_terminations;

}  // namespace

bool addTermination(std::function<void()> callback) {
    const std::lock_guard lock(g_terminationLock);
    try {
        g_terminations.value.push_back(std::move(callback));
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

void runTerminations() {
    std::vector<std::function<void()>> callbacks;
    {
        const std::lock_guard lock(g_terminationLock);
        callbacks.swap(g_terminations.value);
    }
    for (auto callback = callbacks.rbegin(); callback != callbacks.rend(); ++callback)
        (*callback)();
}
