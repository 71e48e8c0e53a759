// What the state holds, for the operator: one line per record with a header, or JSON.
#pragma once

#include <ctime>
#include <ostream>

#include "ca/Store.h"

namespace ca {

enum class Listed { Applicants, Requests, Certificates };

struct ListOptions {
    Listed what = Listed::Applicants;
    // Requests that await approval alone.
    bool pending = false;
    bool json = false;
};

// A certificate's state is valid, revoked or expired as of `now`.
void writeListing(Store& store, const ListOptions& options, std::time_t now, std::ostream& out);

// "2026-12-07T15:46:24Z".
std::string isoTime(std::time_t time);

}  // namespace ca
