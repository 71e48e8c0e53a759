// The story and the refusals through the real transport, PKI and server, each a process of its
// own on loopback.
#include <iterator>
#include <sstream>

#include "EndToEndFixture.h"

namespace {

using ::testing::AllOf;
using ::testing::HasSubstr;
constexpr int kUsage = 2, kRefused = 3, kNotIssued = 4;

TEST_F(EndToEndTest, TheDemoTellsTheWholeStory) {
    const ProgramRun demo = runProgram({VEL_TESSERA, "demo"}, StandardError::Captured);
    EXPECT_EQ(demo.status, 0) << demo.output;
    // The CA certificate comes with the first one and is kept beside them.
    EXPECT_THAT(demo.output, AllOf(HasSubstr("13. what the store holds\ncertificates: 4"),
                                   HasSubstr("#1  serial")));
}

TEST_F(EndToEndTest, RefusalsEndWithTheirExitCodeAndTheReason) {
    const std::string wrong = work.path() + "/wrong";
    std::ofstream(wrong) << "wrong password\n";
    std::ofstream(work.path() + "/short") << "short\n";
    const std::string unknown = authority.startAddress({"/a/0123/start", "", ""});
    const std::string nowhere = authority.startAddress({"/nowhere", "", ""});
    const auto expand = [&](std::string text) {
        for (const auto& [place, value] :
             {std::pair{"{work}", work.path()}, {"{unknown}", unknown}, {"{nowhere}", nowhere}})
            for (std::size_t at; (at = text.find(place)) != std::string::npos;)
                text.replace(at, std::string(place).size(), value);
        return text;
    };
    // A command line for each step, the last one's outcome checked; "!" before it: with the wrong
    // password, "-" at its start: the whole command line, "@manual": the authority approves by hand
    // from then on.
    const std::tuple<int, const char*, const char*> rows[] = {
        {0, "renewed 0 of 0 certificates due within 10 days",
         "request --accept-terms\nrenew --due 10 --accept-terms"},
        {0, "renewed 1 of 1",
         "request --accept-terms\nrenew --due 400 --accept-terms --key-type ec-p256"},
        {1, "Is a directory", "--store {work} certs"},
        {kUsage, "the key password of a new key must have at least 8 characters",
         "request --key-password-file {work}/short"},
        {kUsage, "not an http:// or https:// address",
         "--start 127.0.0.1 --store {work}/x.db request"},
        {kUsage, "tessera: the key password is wrong",
         "request --accept-terms\nrenew 1 --key-password-file {work}/wrong"},
        {kRefused, "(Status 2): wrong password", "!request --accept-terms"},
        {kRefused, "(Status 3)", "request"},
        {kRefused, "refused the start address (Status 1): unknown applicant address",
         "--start {unknown} --store {work}/x.db request"},
        {kRefused, "no longer lists this certificate as a valid certificate of this applicant",
         "request --accept-terms\nrequest --accept-terms\nrevoke 1\nrevoke 1"},
        {kRefused, "(Status 8)", "request --accept-terms\nrevoke 1\nrenew 1 --accept-terms"},
        {kNotIssued, "no open requests in the store: nothing to pick up",
         "!request --accept-terms\npickup"},
        {5, "cannot connect to 127.0.0.1 port 1",
         "--start http://127.0.0.1:1/a/x/start --store {work}/x.db request"},
        {5, "(HTTP/1.1 404 Not Found)", "--start {nowhere} --store {work}/x.db request"},
        {6, "the authority says: revoked", "request --accept-terms\nrevoke 1\ncheck 1"},
        {kNotIssued, "is still waiting (", "@manual\nrequest --accept-terms\npickup"},
    };
    int index = 0;
    for (const auto& [status, reason, steps] : rows) {
        SCOPED_TRACE(steps);
        const std::string name = "applicant" + std::to_string(++index);
        addApplicant(name);
        ProgramRun last{};
        std::istringstream lines(steps);
        for (std::string step; std::getline(lines, step);) {
            if (step == "@manual") {
                authority.serve(true);
                continue;
            }
            std::istringstream words(expand(step.substr(step[0] == '!')));
            Arguments arguments{std::istream_iterator<std::string>(words), {}};
            if (step[0] == '-') arguments.insert(arguments.begin(), VEL_TESSERA);
            last = step[0] == '-' ? runProgram(arguments, StandardError::Captured)
                                  : run(name, arguments, step[0] == '!' ? wrong : std::string());
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
                    AllOf(HasSubstr(std::string(name) + " Tester"), HasSubstr("certificates: 2")));
    }
}

}  // namespace
