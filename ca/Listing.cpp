#include "ca/Listing.h"

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace ca {
namespace {

using Row = std::vector<std::pair<const char*, std::string>>;

// Strings are escaped whole; the state may predate the checks on applicant data.
std::string jsonString(const std::string& text) {
    std::string quoted = "\"";
    for (const char character : text) {
        const auto byte = static_cast<unsigned char>(character);
        if (character == '"' || character == '\\') {
            quoted += {'\\', character};
        } else if (byte < 0x20 || byte == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
            quoted += escaped;
        } else {
            quoted += character;
        }
    }
    return quoted + "\"";
}

// Tabs and line ends would break the columns.
std::string column(std::string text) {
    for (char& character : text)
        if (static_cast<unsigned char>(character) < 0x20) character = ' ';
    return text;
}

std::vector<Row> rowsOf(Store& store, const ListOptions& options, std::time_t now) {
    std::vector<Row> rows;
    switch (options.what) {
        case Listed::Applicants:
            for (const Applicant& applicant : store.applicants())
                rows.push_back({{"id", std::to_string(applicant.id)},
                                {"name", applicant.first + " " + applicant.last},
                                {"email", applicant.email},
                                {"org", applicant.org},
                                {"country", applicant.country}});
            break;
        case Listed::Requests:
            for (const RequestRecord& request : store.requests())
                if (!options.pending || !request.serial)
                    rows.push_back({{"ref", std::to_string(request.ref)},
                                    {"applicant", std::to_string(request.applicant)},
                                    {"state", request.serial ? "issued" : "pending"},
                                    {"serial", request.serial.value_or("")}});
            break;
        case Listed::Certificates:
            for (const CertificateRecord& certificate : store.certificates())
                rows.push_back({{"serial", certificate.serial},
                                {"ref", std::to_string(certificate.ref)},
                                {"applicant", std::to_string(certificate.applicant)},
                                {"state", certificate.revokedAt         ? "revoked"
                                          : certificate.notAfter <= now ? "expired"
                                                                        : "valid"},
                                {"not-after", isoTime(certificate.notAfter)}});
            break;
    }
    return rows;
}

}  // namespace

std::string isoTime(std::time_t time) {
    std::tm parts{};
    gmtime_r(&time, &parts);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
    return text;
}

void writeListing(Store& store, const ListOptions& options, std::time_t now, std::ostream& out) {
    const std::vector<Row> rows = rowsOf(store, options, now);
    if (options.json) {
        out << '[';
        for (std::size_t index = 0; index < rows.size(); ++index) {
            out << (index ? ",\n {" : "{");
            for (std::size_t field = 0; field < rows[index].size(); ++field)
                out << (field ? ", " : "") << jsonString(rows[index][field].first) << ": "
                    << jsonString(rows[index][field].second);
            out << '}';
        }
        out << "]" << std::endl;
        return;
    }
    for (const Row& row : rows) {
        std::string line;
        for (const auto& [name, value] : row) line += (line.empty() ? "" : "\t") + column(value);
        out << line << '\n';
    }
    out.flush();
}

}  // namespace ca
