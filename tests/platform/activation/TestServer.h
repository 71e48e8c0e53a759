// The class the test server module serves, known to the module and to the tests.
#pragma once

#include <velcom/win32.h>

#include <velcom/posix/unknwn.h>

inline constexpr CLSID CLSID_TestServer{
    0x5E1C0A77, 0x3B0D, 0x4C52, {0x9A, 0x41, 0x6D, 0x2E, 0x10, 0x7F, 0x88, 0x01}};
inline constexpr IID IID_ITestAnswer{
    0x5E1C0A78, 0x3B0D, 0x4C52, {0x9A, 0x41, 0x6D, 0x2E, 0x10, 0x7F, 0x88, 0x01}};

struct ITestAnswer : IUnknown {
    STDMETHOD_(int, Answer)() PURE;
};

inline constexpr int kTestServerAnswer = 42;
