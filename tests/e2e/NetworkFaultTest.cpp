// tessera against tessera-ca through a proxy that loses the answer to the submission: the
// application stays open and is picked up later.
#include "EndToEndFixture.h"
#include "platform/registry/RegistryFixture.h"
#include "support/FaultProxy.h"

namespace {

using ::testing::HasSubstr;

constexpr int kUnreachable = 5;

int portOf(const std::string& address) {
    return std::stoi(address.substr(address.rfind(':', address.find('/', 8)) + 1));
}

// The host's transport reaches the authority only through the proxy, its HTTP proxy.
TEST_F(EndToEndTest, AnApplicationWhoseAnswerWasLostStaysOpenAndIsPickedUpLater) {
    const std::string start = authority.startAddress(addApplicant("Eve"));
    FaultProxy proxy(portOf(start));
    const std::string proxyAddress = "http://127.0.0.1:" + std::to_string(proxy.port());
    const ScopedEnvironment viaProxy("http_proxy", proxyAddress.c_str());
    const ScopedEnvironment noneDirect("no_proxy", nullptr);
    proxy.inject(Fault::ResetBeforeAnswer, "/submit");
    runs("Eve", {"request", "--accept-terms"}, kUnreachable);
    EXPECT_THAT(runs("Eve", {"certs"}), HasSubstr("open requests: 1"));
    runs("Eve", {"pickup"});
    EXPECT_THAT(runs("Eve", {"certs"}),
                ::testing::AllOf(HasSubstr("certificates: 2"), HasSubstr("open requests: 0")));
}

}  // namespace
