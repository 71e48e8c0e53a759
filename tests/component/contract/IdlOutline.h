// A second, deliberately plain reading of velTesseraComm.idl, independent of the generator: the
// interfaces with their members, DISPIDs, kinds and parameters, in declaration order.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <velcom/com.h>

struct OutlineParam {
    std::string name;
    std::uint8_t flags;  // velcom::kParamIn, kParamOut, kParamRetval, kParamOptional
};

struct OutlineMember {
    std::string name;
    DISPID id;
    WORD kind;  // DISPATCH_METHOD, DISPATCH_PROPERTYGET or DISPATCH_PROPERTYPUT
    std::vector<OutlineParam> params;
};

struct OutlineInterface {
    std::string name;
    bool inLibrary;
    std::vector<OutlineMember> members;
};

// Throws std::runtime_error when the file cannot be read or does not have the expected shape.
std::vector<OutlineInterface> readIdlOutline(const std::string& path);
