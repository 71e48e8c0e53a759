#pragma once

// Symbols of libvelcom are hidden unless marked, so that the runtime's interface is exactly
// what its headers declare.
#if defined(_WIN32)
#define VELCOM_API
#elif defined(VELCOM_BUILDING)
#define VELCOM_API __attribute__((visibility("default")))
#else
#define VELCOM_API
#endif
