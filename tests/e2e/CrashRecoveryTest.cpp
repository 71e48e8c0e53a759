// A host killed (SIGKILL) at the Kth callback of the proxy (trace, progress, answer, PKI call) in
// an application or a pick-up: started again, tessera picks up what was issued; the store is sound.
#include <fcntl.h>
#include <sys/wait.h>

#include <algorithm>
#include <random>

#include <velPKI/velPKI.h>

#include "EndToEndFixture.h"
#include "Hosts.h"
#include "pki/StoreCheck.h"

namespace {

struct Conversation {
    bool pickUp;  // else an application: RequestStep1, then RequestStep2 watched
    std::string start, store, password, temporary;
};

// In the child: the conversation as a host holds it, ending by SIGKILL at callback killAt (never
// when 0) of its watched step.
[[noreturn]] void hold(const Conversation& conversation, int report, int killAt) {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    DyingBackChannel host(report, killAt);
    velcom::ComPtr<ISMPrivateKeyInfrastructure> realPki;
    velcom::ComPtr<IvelPKIStore> store;
    velcom::ComPtr<ISMPrivateKeyInfrastructureEx> extension;
    velcom::ComPtr<IvelTesseraProxy> proxy;
    if (FAILED(createByProgId(u"velTesseraComm2.velPKI", realPki)) || FAILED(realPki.as(store)) ||
        FAILED(realPki.as(extension)) || FAILED(store->Open(toBstr(conversation.store).get())) ||
        FAILED(createByProgId(u"velTesseraComm2.velTesseraProxy", proxy)))
        _exit(3);
    DyingPki pki(host, realPki.get(), extension.get());
    if (FAILED(proxy->Init(&host, nullptr, &pki, toBstr(conversation.temporary).get())) ||
        FAILED(proxy->InitComm(toBstr(conversation.start).get(), VARIANT{})))
        _exit(3);
    LONG id = 0;
    velcom::ComPtr<IvelNode> application;
    if (!conversation.pickUp && FAILED(proxy->RequestStep1(application.put()))) _exit(4);
    host.armed = true;
    const HRESULT result = conversation.pickUp
                               ? proxy->PickUp(&id)
                               : proxy->RequestStep2(toBstr(conversation.password).get(),
                                                     toBstr("key secret").get(), 1, 1, &id);
    _exit(SUCCEEDED(result) ? 0 : 5);
}

using HostRun = std::vector<std::string>;

HostRun runHost(const Conversation& conversation, int killAt) {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) return {};
    const pid_t child = fork();
    if (child == 0) {
        close(ends[0]);
        hold(conversation, ends[1], killAt);
    }
    close(ends[1]);
    HostRun run;
    std::string line;
    for (char got; read(ends[0], &got, 1) == 1;)
        got == '\n' ? run.push_back(std::exchange(line, {})) : line.push_back(got);
    close(ends[0]);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE((WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) ||
                (WIFEXITED(status) && WEXITSTATUS(status) == 0))
        << status;
    return run;
}

// Every K with VEL_FULL=1; otherwise one K drawn (with a fixed seed) from each stretch of steps
// that ends with a call on the PKI component (the call included), and from the stretch after.
std::vector<int> killPoints(const HostRun& whole) {
    const int steps = static_cast<int>(whole.size());
    const bool every = std::getenv("VEL_FULL") && std::string(std::getenv("VEL_FULL")) == "1";
    std::vector<int> points;
    std::mt19937 random(17);
    for (int step = 1, first = 1; step <= steps; ++step)
        if (every || step == steps || whole[step - 1].starts_with("PKI ")) {
            points.push_back(std::uniform_int_distribution(first, step)(random));
            first = step + 1;
        }
    return points;
}

// The store's certificates with their keys and its open requests.
std::string storeContents(const std::string& path) {
    return firstAnswers(path, {"SELECT COUNT(*) || ' certificates' FROM certificates "
                               "WHERE private_key IS NOT NULL",
                               "SELECT COUNT(*) || ' open' FROM requests WHERE closed = 0"});
}

constexpr char kIssued[] = "1 certificates; 0 open; ";

class CrashRecoveryTest : public EndToEndTest {
protected:
    // A new applicant's conversation; for a pick-up, the application submitted and approved.
    Conversation conversationOf(const std::string& name, bool pickUp) {
        const Applicant& applicant = addApplicant(name);
        if (pickUp) {
            const std::string output = run(name, {"request", "--accept-terms"}).output;
            const std::size_t at = output.find("submitted as request ");
            EXPECT_NE(at, std::string::npos) << output;
            authority.approve(output.substr(at + 21, output.find(',', at) - at - 21));
        }
        return Conversation{pickUp, authority.startAddress(applicant), file(name, "db"),
                            applicant.password, work.path()};
    }

    // The store holds the certificate unless the host died before the step whose line holds
    // issuedBy (empty: the authority had issued it before the conversation).
    void killEverywhere(bool pickUp, const std::string& issuedBy) {
        const Conversation first = conversationOf("whole", pickUp);
        const HostRun whole = runHost(first, 0);
        ASSERT_EQ(storeContents(first.store), kIssued);
        const auto issuing = std::find_if(whole.begin(), whole.end(), [&](const std::string& step) {
            return step.find(issuedBy) != std::string::npos;
        });
        ASSERT_TRUE(issuedBy.empty() || issuing != whole.end());
        const int issued = issuedBy.empty() ? 0 : static_cast<int>(issuing - whole.begin()) + 1;
        for (const int killAt : killPoints(whole)) {
            const std::string name = "killed" + std::to_string(killAt);
            SCOPED_TRACE(name + " at " + whole[killAt - 1]);
            const Conversation conversation = conversationOf(name, pickUp);
            runHost(conversation, killAt);
            const ProgramRun restarted = run(name, {"pickup"});
            EXPECT_EQ(storeCheck(conversation.store), kSoundStore);
            const std::string contents = storeContents(conversation.store);
            if (killAt > issued)
                EXPECT_EQ(contents, kIssued) << restarted.output;
            else
                EXPECT_TRUE(contents.starts_with("0 certificates")) << contents;
        }
    }
};

// From the submission's request line on, the authority has issued the certificate.
TEST_F(CrashRecoveryTest, AHostKilledAtAnyStepOfAnApplicationGetsItsCertificateWhenStartedAgain) {
    killEverywhere(false, "velTransport POST");
}

TEST_F(CrashRecoveryTest, AHostKilledAtAnyStepOfAPickUpGetsTheCertificateWhenStartedAgain) {
    authority.serve(true);
    killEverywhere(true, "");
}

}  // namespace
