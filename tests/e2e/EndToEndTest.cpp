// The story and the refusals through the real transport, PKI and server, each a process of its
// own on loopback.
#include "EndToEndFixture.h"

namespace {

constexpr int kRefused = 3, kNotIssued = 4;

TEST_F(EndToEndTest, TheDemoTellsTheWholeStory) {
    const ProgramRun demo = runProgram({VEL_TESSERA, "demo"}, StandardError::Captured);
    EXPECT_EQ(demo.status, 0) << demo.output;
    EXPECT_NE(demo.output.find("12. what the store holds\ncertificates: 3"), std::string::npos)
        << demo.output;
}

TEST_F(EndToEndTest, RefusalsEndWithTheirExitCodeAndTheReason) {
    const std::string wrong = work.path() + "/wrong";
    std::ofstream(wrong) << "wrong password\n";
    struct Step {
        Arguments command;
        bool wrongPassword = false;
    };
    const struct Row {
        const char* name;
        std::vector<Step> steps;  // the last one is refused
        int status;
        const char* reason;
    } rows[] = {
        {"wrong password",
         {{{"request", "--accept-terms"}, true}},
         kRefused,
         "(Status 2): wrong password"},
        {"terms not accepted", {{{"request"}}}, kRefused, "(Status 3)"},
        {"a reference the authority never gave",
         {{{"request", "--accept-terms"}, true}, {{"pickup"}}},
         kNotIssued,
         "no certificate to pick up"},
        {"a revoked client certificate for the renewal",
         {{{"request", "--accept-terms"}}, {{"revoke", "1"}}, {{"renew", "1", "--accept-terms"}}},
         kRefused,
         "(Status 8)"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string name = "applicant" + std::to_string(&row - rows);
        addApplicant(name);
        ProgramRun last{};
        for (const Step& step : row.steps)
            last = run(name, step.command, step.wrongPassword ? wrong : std::string());
        EXPECT_EQ(last.status, row.status) << last.output;
        EXPECT_NE(last.output.find(row.reason), std::string::npos) << last.output;
    }
}

TEST_F(EndToEndTest, NothingIsLostWhenTheAuthorityRestartsAfterASubmission) {
    addApplicant("patient");
    authority.serve(true);
    const ProgramRun submitted = run("patient", {"request", "--accept-terms"});
    ASSERT_EQ(submitted.status, kNotIssued) << submitted.output;
    authority.stop();
    authority.approve("1");
    authority.serve(false);
    const ProgramRun pickedUp = run("patient", {"pickup"});
    EXPECT_EQ(pickedUp.status, 0) << pickedUp.output;
    const ProgramRun store = run("patient", {"certs"});
    EXPECT_NE(store.output.find("certificates: 1\n  #1"), std::string::npos) << store.output;
    EXPECT_NE(store.output.find("open requests: 0"), std::string::npos) << store.output;
}

TEST_F(EndToEndTest, TwoApplicantsSideBySideKeepTheirOwnCertificates) {
    addApplicant("Ada");
    addApplicant("Bob");
    ChildProcess ada(tessera("Ada", {"request", "--accept-terms"}), StandardError::Captured);
    ChildProcess bob(tessera("Bob", {"request", "--accept-terms"}), StandardError::Captured);
    ASSERT_EQ(ada.finish(), 0) << ada.output();
    ASSERT_EQ(bob.finish(), 0) << bob.output();
    EXPECT_EQ(run("Ada", {"revoke", "1"}).status, 0);
    EXPECT_EQ(run("Bob", {"check", "1"}).status, 0) << "Bob's certificate stays valid";
    for (const char* name : {"Ada", "Bob"}) {
        SCOPED_TRACE(name);
        const std::string store = run(name, {"certs"}).output;
        EXPECT_NE(store.find(std::string(name) + " Tester"), std::string::npos) << store;
        EXPECT_NE(store.find("certificates: 1"), std::string::npos) << store;
    }
}

}  // namespace
