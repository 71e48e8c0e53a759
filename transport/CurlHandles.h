// Owners of libcurl's handles and of the texts it allocates.
#pragma once

#include <memory>
#include <string>

#include <curl/curl.h>

struct CurlEasyCleanup {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
struct CurlListCleanup {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
struct CurlUrlCleanup {
    void operator()(CURLU* url) const { curl_url_cleanup(url); }
};
struct CurlTextFree {
    void operator()(char* text) const { curl_free(text); }
};

using CurlEasy = std::unique_ptr<CURL, CurlEasyCleanup>;
using CurlList = std::unique_ptr<curl_slist, CurlListCleanup>;
using CurlUrl = std::unique_ptr<CURLU, CurlUrlCleanup>;
using CurlText = std::unique_ptr<char, CurlTextFree>;

// curl_global_init, once per process whichever thread comes first; false when it failed.
bool initializeCurlOnce();
