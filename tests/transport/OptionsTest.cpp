// The option text and the environment as the transport reads them.
#include <gtest/gtest.h>

#include "TransportOptions.h"
#include "TransportSettings.h"
#include "platform/registry/RegistryFixture.h"

namespace {

// Secure, certificate, key, password given and the password, then each unknown option.
std::string show(const TransportOptions& parsed) {
    std::string text = std::string(parsed.bSecure ? "secure" : "plain") + "|" + parsed.strCertFile +
                       "|" + parsed.strKeyFile + "|" + (parsed.bHasKeyPassword ? "pp" : "no pp") +
                       "|" + parsed.strKeyPassword;
    for (const std::string& unknown : parsed.vecUnknown) text += "|?" + unknown;
    return text;
}

TEST(OptionsTest, FileNamesRunToTheNextOptionAndThePasswordTakesTheRest) {
    const std::pair<std::string, std::string> rows[] = {
        {"", "plain|||no pp|"},
        {"-ssl3 -ocC:\\T\\cert.pem -pkC:\\T\\key.pem -pp",
         "secure|C:\\T\\cert.pem|C:\\T\\key.pem|pp|"},
        {"-ssl3 -oc/my dir/c.pem -pk/my dir/k.pem -pp a -pp b ",
         "secure|/my dir/c.pem|/my dir/k.pem|pp| a -pp b "},
        {"-tls9 -ssl3x -oc/c.pem", "plain|/c.pem||no pp||?-tls9|?-ssl3x"},
    };
    for (const auto& [text, expected] : rows)
        EXPECT_EQ(show(parseTransportOptions(text)), expected) << text;
}

TEST(OptionsTest, TimeLimitsAreSecondsOrMillisecondsAndUnusableOnesKeepTheDefault) {
    const std::tuple<const char*, long, std::size_t> rows[] = {
        {nullptr, kDefaultTimeoutMs, 0},
        {"5", 5000, 0},
        {"0.25", 250, 0},
        {"40ms", 40, 0},
        {"0", kDefaultTimeoutMs, 1},
        {"-1", kDefaultTimeoutMs, 1},
        {"soon", kDefaultTimeoutMs, 1},
    };
    for (const auto& [value, milliseconds, ignored] : rows) {
        SCOPED_TRACE(value ? value : "unset");
        const ScopedEnvironment timeout(kTimeoutVariable, value);
        EXPECT_EQ(readTransportSettings().lTimeoutMs, milliseconds);
        EXPECT_EQ(readTransportSettings().vecIgnored.size(), ignored);
    }
}

}  // namespace
