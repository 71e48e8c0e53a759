// A second reading of the contract, made without generate.py: on POSIX the IDL itself, on Windows
// the type library that widl compiled from it. Members are written as text lines, so that a
// dispatch table and a reading compare line by line with readable differences.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include <velcom/com.h>

// Contract names are ASCII.
inline std::string narrow(std::u16string_view text) { return {text.begin(), text.end()}; }

inline std::string memberLine(std::string_view name, DISPID id, WORD kind) {
    return std::string(name) + " id " + std::to_string(id) + " kind " + std::to_string(kind);
}

// The type as a dispatch table names it, the velcom::kParam* flags, and for [in] interfaces other
// than IUnknown and IDispatch the interface asked for.
inline std::string paramText(VARTYPE type, std::uint8_t flags, std::string_view iid) {
    return " (vt " + std::to_string(type) + " flags " + std::to_string(flags) + " " +
           std::string(iid) + ")";
}

struct ContractReading {
    // The library's interfaces: "base <interface>[ dual]", then one line per member.
    std::map<std::string, std::vector<std::string>> interfaces;
    std::map<std::string, std::string> ids;  // "{GUID}" of the library, interfaces and classes
    std::map<std::string, LONG> enumerators;
    std::string library;  // "<major>.<minor> <lcid> <help string>"
};

// Throws std::runtime_error when the source cannot be read.
ContractReading readContract();
