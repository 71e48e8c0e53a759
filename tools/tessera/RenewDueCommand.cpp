// renew --due DAYS: what a daily timer runs. Every certificate of the store that has its key, is
// valid and ends within DAYS is renewed, each in a conversation of its own; a certificate already
// renewed (a newer valid one of the same name ends later) is left alone, so that the next run
// does not renew it again.
#include <ctime>
#include <iostream>
#include <map>
#include <optional>

#include "Commands.h"
#include "Interruption.h"
#include "StoreView.h"

namespace {

constexpr std::time_t kSecondsPerDay = 24 * 60 * 60;

// The PKI component's times: "YYYY-MM-DD HH:MM:SS", UTC.
std::optional<std::time_t> utcTime(const std::string& text) {
    std::tm parts{};
    const char* end = strptime(text.c_str(), "%Y-%m-%d %H:%M:%S", &parts);
    if (end == nullptr || *end != '\0') return std::nullopt;
    return timegm(&parts);
}

struct Candidate {
    CertificateLine line;
    std::time_t notAfter = 0;
};

// The newest valid certificate with a key of each name.
std::vector<Candidate> newestOfEachName(Settings& settings) {
    Session store(settings, false);
    std::map<std::string, Candidate> newest;
    for (const CertificateLine& line : storedCertificates(store.pki())) {
        velcom::ComPtr<ISMAsymKey> key;
        const std::optional<std::time_t> notAfter = utcTime(line.notAfter);
        if (line.state != "valid" || !notAfter || FAILED(store.pki().FindKey(line.id, key.put())))
            continue;
        const auto [entry, added] = newest.try_emplace(line.commonName, Candidate{line, *notAfter});
        if (!added && entry->second.notAfter < *notAfter) entry->second = {line, *notAfter};
    }
    std::vector<Candidate> candidates;
    for (auto& [name, candidate] : newest) candidates.push_back(std::move(candidate));
    return candidates;
}

}  // namespace

ExitCode renewDueCertificates(Settings& settings, int days, bool acceptTerms, std::ostream& out) {
    const std::time_t horizon = std::time(nullptr) + days * kSecondsPerDay;
    int due = 0, renewed = 0;
    ExitCode outcome = ExitCode::Done;
    for (const Candidate& candidate : newestOfEachName(settings)) {
        if (interrupted()) break;
        if (candidate.notAfter > horizon) continue;
        ++due;
        out << "due (ends within " << days << " days):\n" << candidate.line << '\n';
        try {
            if (renewCertificate(settings, candidate.line.id, acceptTerms, out) >= 0)
                ++renewed;
            else if (outcome == ExitCode::Done)
                outcome = ExitCode::NotIssued;
        } catch (const CommandFailure& failure) {
            std::cerr << "tessera: renewing #" << candidate.line.id << ": " << failure.what()
                      << '\n';
            if (outcome == ExitCode::Done) outcome = failure.code();
        }
    }
    out << "renewed " << renewed << " of " << due << " certificates due within " << days
        << " days\n";
    return outcome;
}
