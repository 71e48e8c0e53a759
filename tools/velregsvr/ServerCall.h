// Loading an in-process server and calling its DllRegisterServer or DllUnregisterServer.
#pragma once

#include <string>

#include <velcom/com.h>

struct ServerCall {
    enum class Outcome { Succeeded, NotLoaded, NoEntryPoint, Failed };

    Outcome outcome = Outcome::Succeeded;
    // The export's result, for Succeeded and Failed.
    HRESULT result = S_OK;
    // The last error of the failed load, for NotLoaded.
    DWORD loadError = 0;
};

// The name of the export that registers (or, with unregister, unregisters) a server.
const char* serverEntryPoint(bool unregister);

// Loads the module, calls the export and unloads the module again.
ServerCall callServer(const std::string& modulePath, bool unregister);
