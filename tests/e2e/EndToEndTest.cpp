// The story and the refusals through the real transport, PKI and server, each a process of its
// own on loopback.
#include <iterator>
#include <sstream>

#include "EndToEndFixture.h"

namespace {

using ::testing::AllOf;
using ::testing::HasSubstr;
constexpr int kRefused = 3, kNotIssued = 4;

TEST_F(EndToEndTest, TheDemoTellsTheWholeStory) {
    const ProgramRun demo = runProgram({VEL_TESSERA, "demo"}, StandardError::Captured);
    EXPECT_EQ(demo.status, 0) << demo.output;
    EXPECT_THAT(demo.output, HasSubstr("13. what the store holds\ncertificates: 3"));
}

TEST_F(EndToEndTest, RefusalsEndWithTheirExitCodeAndTheReason) {
    const std::string wrong = work.path() + "/wrong";
    std::ofstream(wrong) << "wrong password\n";
    // A command line for each step, the last one refused; "!" before it: with the wrong password.
    const std::tuple<int, const char*, const char*> rows[] = {
        {kRefused, "(Status 2): wrong password", "!request --accept-terms"},
        {kRefused, "(Status 3)", "request"},
        {kNotIssued, "no certificate to pick up", "!request --accept-terms\npickup"},
        {kRefused, "(Status 8)", "request --accept-terms\nrevoke 1\nrenew 1 --accept-terms"},
    };
    int index = 0;
    for (const auto& [status, reason, steps] : rows) {
        SCOPED_TRACE(steps);
        const std::string name = "applicant" + std::to_string(++index);
        addApplicant(name);
        ProgramRun last{};
        std::istringstream lines(steps);
        for (std::string step; std::getline(lines, step);) {
            std::istringstream words(step.substr(step[0] == '!'));
            last = run(name, {std::istream_iterator<std::string>(words), {}},
                       step[0] == '!' ? wrong : std::string());
        }
        EXPECT_EQ(last.status, status) << last.output;
        EXPECT_THAT(last.output, HasSubstr(reason));
    }
}

TEST_F(EndToEndTest, TwoApplicantsSideBySideKeepTheirOwnCertificates) {
    addApplicant("Ada");
    addApplicant("Bob");
    ChildProcess ada(tessera("Ada", {"request", "--accept-terms"}), StandardError::Captured);
    ChildProcess bob(tessera("Bob", {"request", "--accept-terms"}), StandardError::Captured);
    ASSERT_EQ(ada.finish(), 0) << ada.output();
    ASSERT_EQ(bob.finish(), 0) << bob.output();
    runs("Ada", {"revoke", "1"});
    EXPECT_EQ(run("Bob", {"check", "1"}).status, 0) << "Bob's certificate stays valid";
    for (const char* name : {"Ada", "Bob"}) {
        SCOPED_TRACE(name);
        EXPECT_THAT(runs(name, {"certs"}),
                    AllOf(HasSubstr(std::string(name) + " Tester"), HasSubstr("certificates: 1")));
    }
}

}  // namespace
