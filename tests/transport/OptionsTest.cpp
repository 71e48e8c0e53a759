// The option text and the environment as the transport reads them.
#include <gtest/gtest.h>

#include "TransportOptions.h"
#include "TransportSettings.h"
#include "platform/registry/RegistryFixture.h"

namespace {

TEST(OptionsTest, FileNamesRunToTheNextOptionAndThePasswordTakesTheRest) {
    const struct {
        std::string text;
        TransportOptions expected;
    } rows[] = {
        {"", {}},
        {"-ssl3 -ocC:\\T\\cert.pem -pkC:\\T\\key.pem -pp",
         {true, "C:\\T\\cert.pem", "C:\\T\\key.pem", "", true, {}}},
        {"-ssl3 -oc/my dir/cert.pem -pk/my dir/key.pem -pp a -pp b ",
         {true, "/my dir/cert.pem", "/my dir/key.pem", " a -pp b ", true, {}}},
        {"-tls9 -ssl3x -oc/c.pem", {false, "/c.pem", "", "", false, {"-tls9", "-ssl3x"}}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        const TransportOptions parsed = parseTransportOptions(row.text);
        EXPECT_EQ(parsed.bSecure, row.expected.bSecure);
        EXPECT_EQ(parsed.strCertFile, row.expected.strCertFile);
        EXPECT_EQ(parsed.strKeyFile, row.expected.strKeyFile);
        EXPECT_EQ(parsed.strKeyPassword, row.expected.strKeyPassword);
        EXPECT_EQ(parsed.bHasKeyPassword, row.expected.bHasKeyPassword);
        EXPECT_EQ(parsed.vecUnknown, row.expected.vecUnknown);
    }
}

TEST(OptionsTest, TimeLimitsAreSecondsOrMillisecondsAndUnusableOnesKeepTheDefault) {
    const struct {
        const char* value;
        long milliseconds;
        bool ignored;
    } rows[] = {
        {nullptr, kDefaultTimeoutMs, false},
        {"5", 5000, false},
        {"0.25", 250, false},
        {"40ms", 40, false},
        {"0", kDefaultTimeoutMs, true},
        {"-1", kDefaultTimeoutMs, true},
        {"soon", kDefaultTimeoutMs, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.value ? row.value : "unset");
        const ScopedEnvironment timeout(kTimeoutVariable, row.value);
        const TransportSettings settings = readTransportSettings();
        EXPECT_EQ(settings.lTimeoutMs, row.milliseconds);
        EXPECT_EQ(settings.vecIgnored.size(), row.ignored ? 1u : 0u);
    }
}

}  // namespace
