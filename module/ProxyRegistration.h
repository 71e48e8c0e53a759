// What the proxy's class announces in HKEY_CLASSES_ROOT: its ProgIDs, its class key with the
// library as in-process server, threading model "Apartment", and its type library.
#pragma once

#include <string>
#include <vector>

#include "inproc/RegistryScript.h"

// The GUID texts as the entries carry them, with a lower-case "d6" in the third group.
inline constexpr char kProxyClassIdText[] = "{A8253F85-5360-11d6-8314-00E029442B7A}";
inline constexpr char kTypeLibraryIdText[] = "{A8253F84-5360-11d6-8314-00E029442B7A}";

inline constexpr char kProxyProgId[] = "velTesseraComm2.velTesseraProxy.1";
inline constexpr char kProxyVersionIndependentProgId[] = "velTesseraComm2.velTesseraProxy";

std::vector<ScriptKey> proxyRegistryScript();

HRESULT registerProxyClass(const std::string& modulePath);
HRESULT unregisterProxyClass();
