// What every automation test uses: the runtime (velcom's, or the system's on Windows), readable
// strings, and VARIANT values written as one expression.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include <velcom/com.h>

#include "support/OleText.h"

// A VARIANT of the type with one field set, e.g. VALUE(VT_I4, lVal, 5); it owns what the field
// holds as any VARIANT does.
// clang-format off
#define VALUE(type, field, ...) [&] { VARIANT v; v.vt = type; v.field = __VA_ARGS__; return v; }()
// clang-format on
