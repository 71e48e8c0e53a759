// A second reading of the contract, made without generate.py: on POSIX the IDL itself, on Windows
// the type library that widl compiled from it. Members are read as text lines, so that a dispatch
// table and a reading compare line by line with readable differences.
#pragma once

#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include <velcom/com.h>

#include "support/OleText.h"

inline std::string narrow(std::u16string_view text) { return {text.begin(), text.end()}; }

inline std::string guidText(const GUID& guid) {
    OLECHAR text[39];
    return narrow(textOf(text, static_cast<UINT>(StringFromGUID2(guid, text, 39) - 1)));
}

inline std::string memberLine(const std::string& name, DISPID id, WORD kind) {
    return name + " id " + std::to_string(id) + " kind " + std::to_string(kind);
}

// A parameter as a dispatch table holds it: the automation type, the velcom::kParam* flags and,
// for [in] interfaces but IUnknown and IDispatch, the interface asked for. From a declaration
// the pointers count: interfaces and [out] parameters are pointers by nature, and an [in]
// VARIANT* takes whatever it is given.
inline std::string paramLine(VARTYPE type, std::uint8_t flags, std::string iid, int pointers = -1) {
    const bool out = (flags & velcom::kParamOut) != 0;
    if (pointers >= 0) {
        pointers -= (type == VT_DISPATCH || type == VT_UNKNOWN ? 1 : 0) + (out ? 1 : 0);
        if (out) iid.clear();
        if (pointers == 1 && (out || type != VT_VARIANT)) type |= VT_BYREF;
        if (pointers != 0 && pointers != 1) throw std::runtime_error("not for automation");
    }
    return " (vt " + std::to_string(type) + " flags " + std::to_string(flags) + " " + iid + ")";
}

struct ContractReading {
    std::map<std::string, std::vector<std::string>> interfaces;  // of the library
    std::map<std::string, std::string> ids;  // of the library, its interfaces and classes
    std::map<std::string, LONG> enumerators;
};

// Throws std::runtime_error when the source cannot be read.
ContractReading readContract();
