// How a member's parameter is passed through IDispatch: its automation type and direction.
#pragma once

#include <cstdint>

#include <velcom/SystemApi.h>

namespace velcom {

struct ParamInfo {
    VARTYPE type;
    std::uint8_t flags;
    // For interface parameters other than IUnknown and IDispatch: the interface asked for.
    const IID* iid = nullptr;
};

inline constexpr std::uint8_t kParamIn = 0x1;
inline constexpr std::uint8_t kParamOut = 0x2;
inline constexpr std::uint8_t kParamRetval = 0x4;
inline constexpr std::uint8_t kParamOptional = 0x8;

constexpr ParamInfo in(VARTYPE type, const IID* iid = nullptr) { return {type, kParamIn, iid}; }
constexpr ParamInfo optional(VARTYPE type, const IID* iid = nullptr) {
    return {type, kParamIn | kParamOptional, iid};
}
constexpr ParamInfo out(VARTYPE type) { return {type, kParamOut, nullptr}; }
constexpr ParamInfo retval(VARTYPE type) { return {type, kParamOut | kParamRetval, nullptr}; }

}  // namespace velcom
