// A process killed with SIGKILL while it changes the store: reopened, the store holds the state
// before or after the call that was cut short, never a mix, and every open request is there.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <functional>

#include "PkiFixture.h"
#include "StoreCheck.h"

namespace {

class CrashTest : public PkiTest {
protected:
    // Runs step(i) for i = 0, 1, … in a child with a store of its own connection, reporting each
    // finished step through a pipe; kills it once `finished` steps are reported, at the start of
    // the next one. The number of finished steps.
    int killDuring(int finished,
                   const std::function<void(ISMPrivateKeyInfrastructure&, int)>& step) {
        pki.reset();
        pkiStore.reset();
        int channel[2];
        EXPECT_EQ(pipe(channel), 0);
        const pid_t child = fork();
        if (child == 0) {
            close(channel[0]);
            velcom::ComPtr<ISMPrivateKeyInfrastructure> own;
            velcom::ComPtr<IvelPKIStore> store;
            if (FAILED(createPkiObject(nullptr, IID_ISMPrivateKeyInfrastructure, own.putVoid())) ||
                FAILED(own.as(store)) || FAILED(store->Open(toBstr(storePath()).get())))
                _exit(2);
            for (int index = 0;; ++index) {
                step(*own.get(), index);
                if (write(channel[1], &index, sizeof index) != sizeof index) _exit(3);
            }
        }
        close(channel[1]);
        int reported = -1, last = -1;
        while (reported + 1 < finished && read(channel[0], &last, sizeof last) == sizeof last)
            reported = last;
        kill(child, SIGKILL);
        while (read(channel[0], &last, sizeof last) == sizeof last) reported = last;
        close(channel[0]);
        int status = 0;
        waitpid(child, &status, 0);
        EXPECT_TRUE(WIFSIGNALED(status));
        reopen();
        EXPECT_EQ(storeCheck(storePath()), kSoundStore);
        return reported + 1;
    }
};

TEST_F(CrashTest, AddRequestKilledMidwayLeavesTheRequestUnderItsOldOrItsNewReference) {
    const auto request = createRequest("secret");
    for (const int steps : {1, 7, 30}) {
        SCOPED_TRACE(steps);
        const int finished = killDuring(steps, [&](ISMPrivateKeyInfrastructure& own, int index) {
            own.AddRequest(request.get(), toBstr(std::to_string(index)).get());
        });
        const std::vector<std::string> open = openReferences();
        ASSERT_EQ(open.size(), 1u);
        const int reference = std::stoi(open.front());
        EXPECT_TRUE(reference == finished - 1 || reference == finished) << reference;
    }
}

TEST_F(CrashTest, AnImportKilledMidwayEitherClosesTheRequestWithItsCertificateOrLeavesItOpen) {
    constexpr int kRequests = 12;
    const auto file = [](int index) { return "cert" + std::to_string(index) + ".pem"; };
    for (int index = 0; index < kRequests; ++index) {
        const auto request = createRequest("secret");
        ASSERT_EQ(pki->AddRequest(request.get(), toBstr(std::to_string(index)).get()), S_OK);
        writePem(file(index).c_str(), "CERTIFICATE",
                 certificateDer(issue(textOfRequest(request.get()), 1000 + index).get()));
    }
    const auto importNext = [&](ISMPrivateKeyInfrastructure& own, int index) {
        LONG id = 0;
        own.ImportRequestedCertificate(toBstr(path(file(index).c_str())).get(),
                                       toBstr(std::to_string(index)).get(), &id);
    };
    // On a busy machine the child may import every certificate before the kill comes; the steps
    // after the last find no file.
    const int finished = std::min(kRequests, killDuring(5, importNext));
    const std::vector<std::string> open = openReferences();
    EXPECT_TRUE(open.size() == static_cast<std::size_t>(kRequests - finished) ||
                open.size() == static_cast<std::size_t>(kRequests - finished - 1))
        << open.size();
    for (const std::string& reference : open) {
        SCOPED_TRACE(reference);
        EXPECT_GE(std::stoi(reference), finished);
    }
    for (int index = 0; index < kRequests - static_cast<int>(open.size()); ++index) {
        velcom::ComPtr<ISMAsymKey> key;
        ASSERT_EQ(pki->FindKey(index + 1, key.put()), S_OK);
        EXPECT_EQ(key->Decrypt(toBstr("secret").get()), S_OK);
    }
}

}  // namespace
