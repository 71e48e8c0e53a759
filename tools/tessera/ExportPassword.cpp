#include "ExportPassword.h"

#include <cstdlib>

#include "CommandFailure.h"
#include "Secret.h"

namespace {

constexpr char kVariable[] = "TESSERA_EXPORT_PASSWORD";

}  // namespace

std::string exportPassword(const std::string& file) {
    Secret password("export password", kVariable);
    if (!file.empty()) password.readFrom(file);
    const std::string value = password.get();
    if (value.empty()) throw CommandFailure(ExitCode::Usage, "the export password is empty");
    if (file.empty() && std::getenv(kVariable) == nullptr) {
        // Asked on the terminal: the second answer comes from there too.
        Secret again("export password again", "");
        if (again.get() != value)
            throw CommandFailure(ExitCode::Usage, "the two export passwords differ");
    }
    return value;
}
