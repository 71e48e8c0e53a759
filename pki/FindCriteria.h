// What Find asks for, read once from its optional arguments; a field left empty admits any.
#pragma once

#include <optional>
#include <string>

#include <velTesseraComm/DispatchTables.h>

struct FindCriteria {
    std::optional<CertType> type;
    std::optional<CertStatus> status;
    std::optional<std::string> address;
    std::optional<std::string> commonName;
    std::optional<std::string> issuerName;
    // In the form serialText gives.
    std::optional<std::string> serial;

    bool admits(CertType candidate) const { return !type || *type == candidate; }
};
