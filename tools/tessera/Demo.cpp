#include "Demo.h"

#include <cstdlib>
#include <functional>

#include "Commands.h"
#include "Installation.h"
#include "LocalAuthority.h"
#include "StoreView.h"
#include "TemporaryDirectory.h"

namespace {

void expect(bool condition, const std::string& failure) {
    if (!condition) throw CommandFailure(ExitCode::DemoStepFailed, failure);
}

class Story {
public:
    explicit Story(std::ostream& out) : m_out(out) {}
    void step(const std::string& title, const std::function<void()>& body) {
        m_out << "\n== " << ++m_number << ". " << title << '\n';
        body();
    }

private:
    std::ostream& m_out;
    int m_number = 0;
};

void registerModules(const Installation& installation, std::ostream& out) {
    for (const std::string& module : installation.modules) {
        expect(runProgram({installation.velregsvr, "-s", module}, StandardError::Shown).status == 0,
               "velregsvr cannot register " + module);
        out << "  registered " << module << '\n';
    }
}

std::string serialOf(Settings& settings, LONG id) {
    Session session(settings, false);
    return describe(session.pki(), *certificateById(session.pki(), id).get()).serial;
}

void tellStory(const std::string& work, bool verbose, std::ostream& out) {
    Story story(out);
    const Installation installation = findInstallation();
    setenv("VELCOM_REGISTRY", (work + "/registry.reg").c_str(), 1);
    setenv("no_proxy", "127.0.0.1,localhost", 1);
    // The trust anchor alone must carry the TLS of the renewal, not a bundle from outside.
    unsetenv("VELTRANSPORT_CA_BUNDLE");
    story.step("register the modules in a private registry",
               [&] { registerModules(installation, out); });

    LocalAuthority authority(installation.authority, work + "/authority", verbose);
    Applicant applicant;
    story.step("start tessera-ca (approval: auto) and add an applicant", [&] {
        authority.init();
        authority.serve(false);
        applicant = authority.addApplicant("Erika", "Mustermann", "erika@example.org");
        out << "  start address " << authority.startAddress(applicant) << '\n';
    });
    Settings settings;
    settings.storePath = work + "/store.db";
    settings.verbose = verbose;
    settings.applicantPassword.set(applicant.password);
    settings.keyPassword.set("demo key password");
    settings.startAddress = authority.startAddress(applicant);
    story.step("trust the authority's certificate by the fingerprint it printed", [&] {
        trustAuthority(settings, authority.caAddress(), applicant.fingerprint, out);
    });

    LONG first = -1;
    story.step("request a certificate: issued and picked up at once", [&] {
        first = requestCertificate(settings, true, out).certificateId;
        expect(first >= 0, "the certificate was not issued at once");
    });
    RequestOutcome pending;
    story.step("restart tessera-ca (approval: manual) and request a second one: it waits", [&] {
        authority.serve(true);
        settings.startAddress = authority.startAddress(applicant);
        pending = requestCertificate(settings, true, out);
        expect(pending.certificateId < 0 && !pending.pendingReference.empty(),
               "the second request did not wait for approval");
    });
    story.step("approve it at the authority and pick it up", [&] {
        out << "  tessera-ca approve " << pending.pendingReference << ": issued "
            << authority.approve(pending.pendingReference) << '\n';
        expect(pickUpCertificate(settings, out) >= 0, "nothing was picked up");
    });
    story.step("check the first certificate", [&] {
        expect(checkCertificate(settings, first, out) == "valid", "it is not valid");
    });
    story.step("update the revocation list", [&] {
        expect(updateRevocationList(settings, out).empty(), "the list names a certificate");
    });
    story.step("renew the first certificate over client-certificate TLS", [&] {
        expect(renewCertificate(settings, first, true, out) >= 0, "no renewed certificate");
    });
    story.step("revoke the first certificate", [&] { revokeCertificate(settings, first, out); });
    story.step("check it again", [&] {
        expect(checkCertificate(settings, first, out) == "revoked", "it is not revoked");
    });
    story.step("update the revocation list: it names the revoked certificate", [&] {
        const std::string revoked = normalSerial(serialOf(settings, first));
        bool named = false;
        for (const std::string& serial : updateRevocationList(settings, out))
            named = named || normalSerial(serial) == revoked;
        expect(named, "the list does not name serial " + revoked);
    });
    story.step("what the store holds", [&] { listStore(settings, out); });
}

}  // namespace

ExitCode runDemo(bool verbose, std::ostream& out) {
    const TemporaryDirectory work("tessera-demo");
    try {
        tellStory(work.path(), verbose, out);
    } catch (const std::exception& failure) {
        out << "\ndemo FAILED: " << failure.what() << '\n';
        return ExitCode::DemoStepFailed;
    }
    out << "\ndemo done: every step did what it should\n";
    return ExitCode::Done;
}
