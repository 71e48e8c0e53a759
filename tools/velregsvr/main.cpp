// velregsvr [-u] [-s] MODULE…: registers in-process servers (or, with -u, unregisters them), as
// regsvr32 does on Windows. Each module gets one line on stdout for success or on stderr for
// failure; -s prints nothing. The exit status is 0 when every module succeeded, otherwise that of
// the first failure: 3 the module did not load, 4 it lacks the entry point, 5 the call failed.
// Wrong arguments give the usage and 1.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <velcom/com.h>

#include "ServerCall.h"

namespace {

constexpr int kUsage = 1;
constexpr int kNotLoaded = 3;
constexpr int kNoEntryPoint = 4;
constexpr int kCallFailed = 5;

struct Options {
    bool unregister = false;
    bool silent = false;
    std::vector<std::string> modules;
};

bool parse(int argc, char** argv, Options& options) {
    for (int index = 1; index < argc; ++index) {
        const std::string argument = argv[index];
        if (argument == "-u")
            options.unregister = true;
        else if (argument == "-s")
            options.silent = true;
        else if (!argument.empty() && argument[0] == '-')
            return false;
        else
            options.modules.push_back(argument);
    }
    return !options.modules.empty();
}

// A bare file name means the file in the current directory, as for regsvr32, not a library
// somewhere on the search path.
std::string modulePathOf(const std::string& argument) {
    return argument.find('/') == std::string::npos ? "./" + argument : argument;
}

std::string systemMessage(HRESULT result) {
    char* text = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER,
        nullptr, static_cast<DWORD>(result), 0, reinterpret_cast<LPSTR>(&text), 0, nullptr);
    std::string message = length != 0 && text != nullptr ? std::string(text, length) : "";
    LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r'))
        message.pop_back();
    return message.empty() ? "no text for this code" : message;
}

int report(const std::string& module, bool unregister, const ServerCall& call, bool silent) {
    const char* entryPoint = serverEntryPoint(unregister);
    switch (call.outcome) {
        case ServerCall::Outcome::Succeeded:
            if (!silent)
                std::printf("velregsvr: %s in %s succeeded.\n", entryPoint, module.c_str());
            return 0;
        case ServerCall::Outcome::NotLoaded:
            if (!silent)
                std::fprintf(stderr, "velregsvr: the module %s failed to load: %s\n",
                             module.c_str(), std::strerror(static_cast<int>(call.loadError)));
            return kNotLoaded;
        case ServerCall::Outcome::NoEntryPoint:
            if (!silent)
                std::fprintf(stderr, "velregsvr: the module %s has no entry point %s\n",
                             module.c_str(), entryPoint);
            return kNoEntryPoint;
        case ServerCall::Outcome::Failed:
            break;
    }
    if (!silent)
        std::fprintf(stderr, "velregsvr: %s in %s failed with 0x%08X: %s\n", entryPoint,
                     module.c_str(), static_cast<unsigned>(call.result),
                     systemMessage(call.result).c_str());
    return kCallFailed;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!parse(argc, argv, options)) {
        std::fprintf(stderr,
                     "usage: velregsvr [-u] [-s] MODULE...\n"
                     "  registers each in-process server MODULE; -u unregisters it,\n"
                     "  -s prints nothing\n");
        return kUsage;
    }
    int status = 0;
    for (const std::string& module : options.modules) {
        const ServerCall call = callServer(modulePathOf(module), options.unregister);
        const int moduleStatus = report(module, options.unregister, call, options.silent);
        if (status == 0) status = moduleStatus;
    }
    return status;
}
