// What the transport says it is to the server: the component and its version, from the build.
#pragma once

inline constexpr char kUserAgent[] = VEL_TRANSPORT_USER_AGENT;
