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

TEST(OptionsTest, TimeLimitsAndTheLargestAnswerHaveUnitsAndUnusableValuesKeepTheDefault) {
    const std::tuple<const char*, const char*, std::int64_t, std::size_t> rows[] = {
        {kTimeoutVariable, nullptr, kDefaultTimeoutMs, 0},
        {kTimeoutVariable, "5", 5000, 0},
        {kTimeoutVariable, "0.25", 250, 0},
        {kTimeoutVariable, "40ms", 40, 0},
        {kTimeoutVariable, "0", kDefaultTimeoutMs, 1},
        {kTimeoutVariable, "-1", kDefaultTimeoutMs, 1},
        {kTimeoutVariable, "soon", kDefaultTimeoutMs, 1},
        {kMaxAnswerVariable, nullptr, kDefaultMaxAnswer, 0},
        {kMaxAnswerVariable, "1000", 1000, 0},
        {kMaxAnswerVariable, "2GiB", std::int64_t{2} << 30, 0},
        {kMaxAnswerVariable, "64MB", kDefaultMaxAnswer, 1},
        {kMaxAnswerVariable, "9000000000GiB", kDefaultMaxAnswer, 1},
    };
    for (const auto& [variable, value, expected, ignored] : rows) {
        SCOPED_TRACE(std::string(variable) + "=" + (value ? value : "unset"));
        const ScopedEnvironment setting(variable, value);
        const TransportSettings settings = readTransportSettings();
        EXPECT_EQ(variable == kTimeoutVariable ? settings.lTimeoutMs : settings.llMaxAnswer,
                  expected);
        EXPECT_EQ(settings.vecIgnored.size(), ignored);
    }
}

}  // namespace
