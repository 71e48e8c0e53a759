// What the transport's class announces in HKEY_CLASSES_ROOT, after the proxy's conventions: its
// ProgIDs, its class key with the library as in-process server, threading model "Apartment", and
// the type library that describes IvelTransport.
#pragma once

#include <string>
#include <vector>

#include "inproc/RegistryScript.h"

inline constexpr char kTransportClassIdText[] = "{A8253F79-5360-11d6-8314-00E029442B7A}";
inline constexpr char kTransportTypeLibraryIdText[] = "{A8253F84-5360-11d6-8314-00E029442B7A}";

inline constexpr char kTransportProgId[] = "velTesseraComm2.velTransport.1";
inline constexpr char kTransportVersionIndependentProgId[] = "velTesseraComm2.velTransport";

std::vector<ScriptKey> transportRegistryScript();
