// The component's own HRESULTs: failure, facility 4 (interface-specific), codes 0x9C01-0x9C07.
#pragma once

#include <velcom/SystemApi.h>

// Init has not been called.
inline constexpr HRESULT TSR_E_NOT_INITIALIZED = static_cast<HRESULT>(0xC0049C01u);
// The server's answer cannot be used: no markup, no Return node, or a required parameter missing.
inline constexpr HRESULT TSR_E_RESPONSE = static_cast<HRESULT>(0xC0049C02u);
// No start node has been received: InitComm missing or unsuccessful.
inline constexpr HRESULT TSR_E_COMM_NOT_INITIALIZED = static_cast<HRESULT>(0xC0049C03u);
// The operation does not fit the communication step.
inline constexpr HRESULT TSR_E_WRONG_STEP = static_cast<HRESULT>(0xC0049C04u);
// The server answered with a Status other than 100.
inline constexpr HRESULT TSR_E_SERVER = static_cast<HRESULT>(0xC0049C05u);
// The server's serial number does not match the certificate to revoke.
inline constexpr HRESULT TSR_E_SERIAL = static_cast<HRESULT>(0xC0049C06u);
// Pick-up finds no certificate to fetch in the server's lists.
inline constexpr HRESULT TSR_E_PICKUP = static_cast<HRESULT>(0xC0049C07u);
