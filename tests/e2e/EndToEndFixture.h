// A private registry with the three modules registered, a tessera-ca serving in a temporary
// directory, and tessera run as a process against it, one store per applicant.
#pragma once

#include <gmock/gmock.h>

#include <fstream>
#include <map>
#include <string>
#include <vector>

#include <velcom/ComPtr.h>

#include "ChildProcess.h"
#include "Installation.h"
#include "LocalAuthority.h"
#include "TemporaryDirectory.h"

using Arguments = std::vector<std::string>;

template <typename Interface>
HRESULT createByProgId(const char16_t* progId, velcom::ComPtr<Interface>& object) {
    CLSID clsid{};
    const HRESULT result = CLSIDFromProgID(progId, &clsid);
    return FAILED(result) ? result
                          : CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER,
                                             velcom::uuidOf<Interface>(), object.putVoid());
}

class EndToEndTest : public testing::Test {
protected:
    void SetUp() override {
        setenv("VELCOM_REGISTRY", (work.path() + "/registry.reg").c_str(), 1);
        setenv("no_proxy", "127.0.0.1", 1);
        setenv("TESSERA_KEY_PASSWORD", "key secret", 1);
        for (const std::string& module : installation.modules)
            ASSERT_EQ(
                runProgram({installation.velregsvr, "-s", module}, StandardError::Shown).status, 0);
        authority.init();
        authority.serve(false);
        setenv("VELTRANSPORT_CA_BUNDLE", authority.caFile().c_str(), 1);
    }

    // A new applicant with a password file and a store of its own.
    const Applicant& addApplicant(const std::string& name) {
        const Applicant& applicant = applicants[name] =
            authority.addApplicant(name, "Tester", name + "@example.org");
        std::ofstream(file(name, "password")) << applicant.password << '\n';
        return applicant;
    }
    std::string file(const std::string& name, const std::string& kind) const {
        return work.path() + "/" + name + "." + kind;
    }
    // tessera's command line for an applicant, with a given password file or the right one.
    Arguments tessera(const std::string& name, const Arguments& command,
                      const std::string& passwordFile = {}) const {
        const std::string password = passwordFile.empty() ? file(name, "password") : passwordFile;
        Arguments arguments{VEL_TESSERA, "--start", authority.startAddress(applicants.at(name))};
        arguments.insert(arguments.end(),
                         {"--store", file(name, "db"), "--password-file", password});
        arguments.insert(arguments.end(), command.begin(), command.end());
        return arguments;
    }
    ProgramRun run(const std::string& name, const Arguments& command,
                   const std::string& passwordFile = {}) const {
        return runProgram(tessera(name, command, passwordFile), StandardError::Captured);
    }
    // The output of a command that must end with the status given.
    std::string runs(const std::string& name, const Arguments& command, int status = 0) const {
        const ProgramRun done = run(name, command);
        EXPECT_EQ(done.status, status) << name << " " << command.front() << ": " << done.output;
        return done.output;
    }

    TemporaryDirectory work{"tessera-e2e"};
    Installation installation = findInstallation();
    LocalAuthority authority{installation.authority, work.path() + "/authority", false};
    std::map<std::string, Applicant> applicants;
};
