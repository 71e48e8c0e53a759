// velregsvr run as a user runs it: what it prints, its exit status, what it leaves registered.
#include <sys/wait.h>

#include <cstdio>

#include "platform/registry/RegistryFixture.h"

namespace {

const std::filesystem::path kModule = VEL_TESSERACOMM_MODULE;

std::string quoted(const std::string& text) { return "'" + text + "'"; }

// Runs velregsvr in the module's directory; the output is stdout and stderr together.
std::pair<int, std::string> run(const std::string& arguments) {
    const std::string command = "cd " + quoted(kModule.parent_path()) + " && " +
                                quoted(VEL_VELREGSVR) + " " + arguments + " 2>&1";
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return {-1, output};
    for (int c; (c = std::fgetc(pipe)) != EOF;) output += static_cast<char>(c);
    const int status = pclose(pipe);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

using VelregsvrTest = RegistryTest;

TEST_F(VelregsvrTest, EachRunPrintsItsOutcomeExitsWithItsStatusAndLeavesTheRegistrySo) {
    const std::string module = kModule.string();
    const std::string server =
        "InprocServer32]\n@=\"" + std::filesystem::canonical(kModule).string() + "\"\n";
    const std::string missing = "/nonexistent/module.so";
    const std::string usage =
        "usage: velregsvr [-u] [-s] MODULE...\n  registers each in-process server MODULE; -u "
        "unregisters it,\n  -s prints nothing\n";
    const std::string loadFailure =
        "velregsvr: the module " + missing + " failed to load: No such file or directory\n";
    const auto succeeded = [](const std::string& entry, const std::string& name) {
        return "velregsvr: Dll" + entry + "Server in " + name + " succeeded.\n";
    };
    // Failures go to stderr, which is not buffered, successes to stdout.
    const std::tuple<std::string, int, std::string, bool> rows[] = {
        {"", 1, usage, false},
        {"-u", 1, usage, false},
        {"-x " + quoted(module), 1, usage, false},
        {missing + " " + quoted(module), 3, loadFailure + succeeded("Register", module), true},
        {"-u " + quoted(module), 0, succeeded("Unregister", module), false},
        {quoted(kModule.filename()), 0, succeeded("Register", kModule.filename()), true},
        {"-u -s " + quoted(module), 0, "", false},
        {"-s " + quoted(module), 0, "", true},
        {"-s " + missing, 3, "", true},
        {"-u " + quoted(VEL_NO_EXPORT_MODULE), 4,
         std::string("velregsvr: the module ") + VEL_NO_EXPORT_MODULE +
             " has no entry point DllUnregisterServer\n",
         true},
        {missing, 3, loadFailure, true}};
    for (const auto& [arguments, status, output, registeredAfter] : rows) {
        EXPECT_EQ(run(arguments), std::pair(status, output)) << arguments;
        EXPECT_EQ(fileText().find(server) != std::string::npos, registeredAfter) << arguments;
    }
    writeFile("not a registry file");
    EXPECT_EQ(run(quoted(module)),
              std::pair(5, "velregsvr: DllRegisterServer in " + module +
                               " failed with 0x800703F1: The configuration registry database is "
                               "corrupt.\n"));
}

}  // namespace
