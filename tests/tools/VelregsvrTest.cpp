// velregsvr run as a user runs it, against the component's library and a registry file of each
// test's own: what it prints, its exit status, and what it leaves in the registry.
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <string>

#include "module/RegistrySnapshot.h"
#include "platform/registry/RegistryFixture.h"

namespace {

const std::string kInprocServer = "CLSID\\{A8253F85-5360-11d6-8314-00E029442B7A}\\InprocServer32";

struct ToolRun {
    int status = -1;
    std::string output;  // stdout and stderr together
};

std::string quoted(const std::string& text) { return "'" + text + "'"; }

// Runs velregsvr with the arguments (each quoted for the shell) in the given directory.
ToolRun velregsvr(const std::string& arguments, const std::string& directory = ".") {
    const std::string command =
        "cd " + quoted(directory) + " && " + quoted(VEL_VELREGSVR) + " " + arguments + " 2>&1";
    ToolRun run;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return run;
    std::array<char, 512> buffer;
    while (const std::size_t count = std::fread(buffer.data(), 1, buffer.size(), pipe))
        run.output.append(buffer.data(), count);
    const int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

class VelregsvrTest : public RegistryTest {
protected:
    const std::string module = VEL_TESSERACOMM_MODULE;
};

TEST_F(VelregsvrTest, RegistersAndUnregistersWithALineEach) {
    const ToolRun registered = velregsvr(quoted(module));
    EXPECT_EQ(registered.status, 0);
    EXPECT_EQ(registered.output, "velregsvr: DllRegisterServer in " + module + " succeeded.\n");
    EXPECT_EQ(stringValue(kInprocServer), std::filesystem::canonical(module).string());

    const ToolRun unregistered = velregsvr("-u " + quoted(module));
    EXPECT_EQ(unregistered.status, 0);
    EXPECT_EQ(unregistered.output, "velregsvr: DllUnregisterServer in " + module + " succeeded.\n");
    EXPECT_FALSE(keyExists(kInprocServer));
}

TEST_F(VelregsvrTest, SilentRunPrintsNothingButStillFails) {
    const ToolRun registered = velregsvr("-s " + quoted(module));
    EXPECT_EQ(registered.status, 0);
    EXPECT_EQ(registered.output, "");
    EXPECT_TRUE(keyExists(kInprocServer));

    const ToolRun missing = velregsvr("-s /nonexistent/module.so");
    EXPECT_EQ(missing.status, 3);
    EXPECT_EQ(missing.output, "");
}

TEST_F(VelregsvrTest, BareFileNameMeansTheFileInTheCurrentDirectory) {
    const std::filesystem::path path(module);
    const ToolRun registered =
        velregsvr(quoted(path.filename().string()), path.parent_path().string());
    EXPECT_EQ(registered.status, 0) << registered.output;
    EXPECT_EQ(stringValue(kInprocServer), std::filesystem::canonical(module).string());
}

TEST_F(VelregsvrTest, ModuleThatDoesNotLoad) {
    const ToolRun run = velregsvr("/nonexistent/module.so");
    EXPECT_EQ(run.status, 3);
    EXPECT_EQ(run.output,
              "velregsvr: the module /nonexistent/module.so failed to load: "
              "No such file or directory\n");
}

TEST_F(VelregsvrTest, ModuleWithoutTheEntryPoint) {
    const ToolRun run = velregsvr("-u " + quoted(VEL_NO_EXPORT_MODULE));
    EXPECT_EQ(run.status, 4);
    EXPECT_EQ(run.output, std::string("velregsvr: the module ") + VEL_NO_EXPORT_MODULE +
                              " has no entry point DllUnregisterServer\n");
}

TEST_F(VelregsvrTest, FailingRegistrationShowsTheResultAndItsMessage) {
    writeFile("not a registry file");
    const ToolRun run = velregsvr(quoted(module));
    EXPECT_EQ(run.status, 5);
    EXPECT_EQ(run.output, "velregsvr: DllRegisterServer in " + module +
                              " failed with 0x800703F1: The configuration registry database is "
                              "corrupt.\n");
}

TEST_F(VelregsvrTest, EveryModuleIsTriedAndTheFirstFailureDecides) {
    const ToolRun run = velregsvr("/nonexistent/first.so " + quoted(module));
    EXPECT_EQ(run.status, 3);
    EXPECT_NE(run.output.find("first.so failed to load"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("DllRegisterServer in " + module + " succeeded."), std::string::npos)
        << run.output;
    EXPECT_TRUE(keyExists(kInprocServer));
}

TEST_F(VelregsvrTest, WrongArgumentsGiveTheUsage) {
    for (const char* arguments : {"", "-u", "-x " VEL_TESSERACOMM_MODULE}) {
        const ToolRun run = velregsvr(arguments);
        EXPECT_EQ(run.status, 1) << arguments;
        EXPECT_EQ(run.output.rfind("usage: velregsvr [-u] [-s] MODULE...\n", 0), 0u) << run.output;
    }
    EXPECT_FALSE(keyExists(kInprocServer));
}

}  // namespace
