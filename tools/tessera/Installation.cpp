#include "Installation.h"

#include <filesystem>

#include "CommandFailure.h"

namespace {

namespace fs = std::filesystem;

Installation installedBeside(const fs::path& bin) {
    const fs::path lib = bin / VEL_LIB_FROM_BIN;
    return {(bin / "velregsvr").string(),
            (bin / "tessera-ca").string(),
            {(lib / VEL_COMPONENT_MODULE_NAME).string(), (lib / VEL_TRANSPORT_MODULE_NAME).string(),
             (lib / VEL_PKI_MODULE_NAME).string()}};
}

Installation builtTree() {
    return {VEL_BUILD_VELREGSVR,
            VEL_BUILD_AUTHORITY,
            {VEL_BUILD_COMPONENT_MODULE, VEL_BUILD_TRANSPORT_MODULE, VEL_BUILD_PKI_MODULE}};
}

bool complete(const Installation& installation) {
    if (!fs::exists(installation.velregsvr) || !fs::exists(installation.authority)) return false;
    for (const std::string& module : installation.modules)
        if (!fs::exists(module)) return false;
    return true;
}

}  // namespace

Installation findInstallation() {
    std::error_code failed;
    const fs::path executable = fs::read_symlink("/proc/self/exe", failed);
    if (!failed) {
        const Installation installed = installedBeside(executable.parent_path());
        if (complete(installed)) return installed;
    }
    const Installation built = builtTree();
    if (complete(built)) return built;
    throw CommandFailure(ExitCode::Failed,
                         "cannot find velregsvr, tessera-ca and the modules beside tessera or in "
                         "its build tree (" VEL_BUILD_AUTHORITY ")");
}

std::string registrationCommand() {
    std::vector<std::string> modules = builtTree().modules;
    std::string command = "velregsvr";
    std::error_code failed;
    const fs::path executable = fs::read_symlink("/proc/self/exe", failed);
    if (!failed) {
        const Installation installed = installedBeside(executable.parent_path());
        if (fs::exists(installed.modules.front())) modules = installed.modules;
    }
    for (const std::string& module : modules)
        command += " " + (fs::exists(module) ? module : fs::path(module).filename().string());
    return command;
}
