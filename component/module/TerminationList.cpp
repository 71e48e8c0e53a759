#include "module/TerminationList.h"

#include <mutex>
#include <new>
#include <utility>
#include <vector>

namespace {

std::mutex g_terminationLock;
std::vector<std::function<void()>> g_terminations;

}  // namespace

bool addTermination(std::function<void()> callback) {
    const std::lock_guard lock(g_terminationLock);
    try {
        g_terminations.push_back(std::move(callback));
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

void runTerminations() {
    std::vector<std::function<void()>> callbacks;
    {
        const std::lock_guard lock(g_terminationLock);
        callbacks.swap(g_terminations);
    }
    for (auto callback = callbacks.rbegin(); callback != callbacks.rend(); ++callback)
        (*callback)();
}
