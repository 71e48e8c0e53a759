// The library's entry point on Windows. The C run time has run the static initialisers (the
// tracer lock among them) before the process attach, and runs the static clean-up after the
// detach.
#include <velcom/com.h>

#include "module/ModuleLifetime.h"
#include "module/ModuleTypeInformation.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    switch (reason) {
        case DLL_PROCESS_ATTACH:
            startModule(instance);
            serveModuleTypeInformation();
            // The module keeps no per-thread state.
            DisableThreadLibraryCalls(instance);
            break;
        case DLL_PROCESS_DETACH:
            stopModule();
            break;
        default:
            break;
    }
    return TRUE;
}
