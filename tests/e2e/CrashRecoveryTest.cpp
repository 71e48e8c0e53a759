// A host killed (SIGKILL) at the Kth callback the proxy makes on it (trace line, progress, answer,
// call on the PKI component) during an application or a pick-up: started again, tessera picks up
// whatever the authority issued, and the store is sound. VEL_FULL=1 kills at every K; otherwise at
// one K drawn (with a fixed seed) from each stretch of steps between two calls on the PKI
// component.
#include <fcntl.h>
#include <sys/wait.h>

#include <algorithm>
#include <random>

#include <velPKI/velPKI.h>

#include "DyingHost.h"
#include "EndToEndFixture.h"
#include "pki/StoreCheck.h"

namespace {

template <typename Interface>
velcom::ComPtr<Interface> create(const char16_t* progId) {
    CLSID clsid{};
    velcom::ComPtr<Interface> object;
    if (SUCCEEDED(CLSIDFromProgID(progId, &clsid)))
        CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, velcom::uuidOf<Interface>(),
                         object.putVoid());
    if (!object) _exit(2);
    return object;
}

struct Conversation {
    bool pickUp;  // else an application: RequestStep1, then RequestStep2 watched
    std::string start, store, password, temporary;
};

// In the child: the conversation as a host holds it, ending by SIGKILL at callback killAt (never
// when 0) of its watched step.
[[noreturn]] void hold(const Conversation& conversation, int report, int killAt) {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    Steps steps(report, killAt);
    DyingBackChannel host(steps);
    const auto realPki = create<ISMPrivateKeyInfrastructure>(u"velTesseraComm2.velPKI");
    velcom::ComPtr<IvelPKIStore> store;
    velcom::ComPtr<ISMPrivateKeyInfrastructureEx> extension;
    if (FAILED(realPki.as(store)) || FAILED(realPki.as(extension)) ||
        FAILED(store->Open(toBstr(conversation.store).get())))
        _exit(3);
    DyingPki pki(steps, realPki.get(), extension.get());
    const auto proxy = create<IvelTesseraProxy>(u"velTesseraComm2.velTesseraProxy");
    if (FAILED(proxy->Init(&host, nullptr, &pki, toBstr(conversation.temporary).get())) ||
        FAILED(proxy->InitComm(toBstr(conversation.start).get(), VARIANT{})))
        _exit(3);
    LONG id = 0;
    velcom::ComPtr<IvelNode> application;
    if (!conversation.pickUp && FAILED(proxy->RequestStep1(application.put()))) _exit(4);
    steps.armed = true;
    const HRESULT result = conversation.pickUp
                               ? proxy->PickUp(&id)
                               : proxy->RequestStep2(toBstr(conversation.password).get(),
                                                     toBstr("key secret").get(), 1, 1, &id);
    _exit(SUCCEEDED(result) ? 0 : 5);
}

// The callbacks the host saw before it ended; killed tells whether it was killed.
struct HostRun {
    std::vector<std::string> steps;
    bool killed;
};

HostRun runHost(const Conversation& conversation, int killAt) {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) return {{}, false};
    const pid_t child = fork();
    if (child == 0) {
        close(ends[0]);
        hold(conversation, ends[1], killAt);
    }
    close(ends[1]);
    std::string output;
    char buffer[4096];
    for (ssize_t got; (got = read(ends[0], buffer, sizeof buffer)) > 0;)
        output.append(buffer, static_cast<std::size_t>(got));
    close(ends[0]);
    int status = 0;
    waitpid(child, &status, 0);
    HostRun run{{}, WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL};
    EXPECT_TRUE(run.killed || (WIFEXITED(status) && WEXITSTATUS(status) == 0)) << status;
    for (std::size_t start = 0, end; (end = output.find('\n', start)) != std::string::npos;
         start = end + 1)
        run.steps.push_back(output.substr(start, end - start));
    return run;
}

// Every K, or one K drawn from each stretch of steps that ends with a call on the PKI component
// (the call included) and from the stretch after the last one.
std::vector<int> killPoints(const HostRun& whole) {
    const int steps = static_cast<int>(whole.steps.size());
    std::vector<int> points;
    const char* full = std::getenv("VEL_FULL");
    if (full != nullptr && std::string(full) == "1") {
        for (int k = 1; k <= steps; ++k) points.push_back(k);
        return points;
    }
    std::mt19937 random(17);
    for (int step = 1, first = 1; step <= steps; ++step)
        if (step == steps || whole.steps[step - 1].starts_with("PKI ")) {
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

int stepOf(const HostRun& run, const std::string& text) {
    const auto found = std::find_if(run.steps.begin(), run.steps.end(), [&](const auto& step) {
        return step.find(text) != std::string::npos;
    });
    return found == run.steps.end() ? 0 : static_cast<int>(found - run.steps.begin()) + 1;
}

}  // namespace

// After the request line of the submission the authority has the application, and the
// certificate it issued at once must reach the store in the end; before it, nothing may.
TEST_F(EndToEndTest, AHostKilledAtAnyStepOfAnApplicationGetsItsCertificateWhenStartedAgain) {
    const auto conversationOf = [&](const std::string& name) {
        const Applicant& applicant = addApplicant(name);
        return Conversation{false, authority.startAddress(applicant), file(name, "db"),
                            applicant.password, work.path()};
    };
    const HostRun whole = runHost(conversationOf("whole"), 0);
    ASSERT_EQ(storeContents(file("whole", "db")), "1 certificates; 0 open; ");
    const int submitted = stepOf(whole, "velTransport POST");
    ASSERT_GT(submitted, 0);
    for (const int killAt : killPoints(whole)) {
        const std::string name = "killed" + std::to_string(killAt);
        SCOPED_TRACE(name + " at " + whole.steps[killAt - 1]);
        runHost(conversationOf(name), killAt);
        const ProgramRun restarted = run(name, {"pickup"});
        EXPECT_EQ(storeCheck(file(name, "db")), kSoundStore);
        const std::string contents = storeContents(file(name, "db"));
        if (killAt > submitted)
            EXPECT_EQ(contents, "1 certificates; 0 open; ") << restarted.output;
        else
            EXPECT_TRUE(contents.starts_with("0 certificates")) << contents;
    }
}

// A pick-up killed at any step, the import included, leaves the request open or closed with its
// certificate; the pick-up started again completes it.
TEST_F(EndToEndTest, AHostKilledAtAnyStepOfAPickUpGetsTheCertificateWhenStartedAgain) {
    authority.serve(true);
    const auto conversationOf = [&](const std::string& name) {
        const Applicant& applicant = addApplicant(name);
        const ProgramRun pending = run(name, {"request", "--accept-terms"});
        const std::size_t at = pending.output.find("submitted as request ");
        EXPECT_NE(at, std::string::npos) << pending.output;
        authority.approve(pending.output.substr(at + 21, pending.output.find(',', at) - at - 21));
        return Conversation{true, authority.startAddress(applicant), file(name, "db"),
                            applicant.password, work.path()};
    };
    const HostRun whole = runHost(conversationOf("whole"), 0);
    ASSERT_EQ(storeContents(file("whole", "db")), "1 certificates; 0 open; ");
    for (const int killAt : killPoints(whole)) {
        const std::string name = "killed" + std::to_string(killAt);
        SCOPED_TRACE(name + " at " + whole.steps[killAt - 1]);
        runHost(conversationOf(name), killAt);
        const ProgramRun restarted = run(name, {"pickup"});
        EXPECT_EQ(storeCheck(file(name, "db")), kSoundStore);
        EXPECT_EQ(storeContents(file(name, "db")), "1 certificates; 0 open; ") << restarted.output;
    }
}
