#include <mutex>

#include "CurlHandles.h"

namespace {

// Never undone by curl_global_cleanup: another module of the process may still use libcurl.
std::once_flag g_curlInitialized;
CURLcode g_curlInitResult = CURLE_FAILED_INIT;

}  // namespace

bool initializeCurlOnce() {
    std::call_once(g_curlInitialized, [] { g_curlInitResult = curl_global_init(CURL_GLOBAL_ALL); });
    return g_curlInitResult == CURLE_OK;
}
