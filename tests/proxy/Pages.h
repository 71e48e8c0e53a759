// The pages a test server answers with: the start page, markup blocks, answers and refusals.
#pragma once

#include <optional>
#include <string>
#include <vector>

// A start page naming an address for each operation, with some HTML around the markup.
inline std::string startPage() {
    return "<html><body><!-- !!!\nReturn\nCreateCertficate=https://ca.test/create\n"
           "PickUpCertificate=https://ca.test/pickup\nRenewCertificate=https://ca.test/renew\n"
           "RevokeCertificate=https://ca.test/revoke\nCRLDownload=https://ca.test/crl\n"
           "CheckCertificate=https://ca.test/check\n--></body></html>";
}

// A page carrying one markup block.
inline std::string pageWith(const std::string& block) {
    return "<html><!-- ???\n" + block + "\n--></html>";
}

// One parameter group of a Return block; without a value it has no Value line at all.
struct Param {
    std::string name;
    std::optional<std::string> value;
};
using Params = std::vector<Param>;

// The parameters without the one of that name.
inline Params without(Params params, const std::string& name) {
    std::erase_if(params, [&name](const Param& param) { return param.name == name; });
    return params;
}

// A Return block with status 100 and the parameters, and an Action block when actionUrl is given.
inline std::string answerPage(const std::string& name, const Params& params,
                              const std::string& actionUrl = {},
                              const std::string& method = "POST") {
    std::string page = "<html><body><!-- ???\nReturn=" + name + "\nStatus=100\n";
    for (std::size_t index = 0; index < params.size(); ++index) {
        const std::string number = std::to_string(index + 1);
        page += "Param" + number + "=" + params[index].name + "\n";
        if (params[index].value) page += "Value" + number + "=" + *params[index].value + "\n";
    }
    page += "-->";
    if (!actionUrl.empty())
        page += "<!-- ???\nAction=next\nURL=" + actionUrl + "\nMethod=" + method + "\n-->";
    return page + "</body></html>";
}

// A page on which the server refuses with the status and message.
inline std::string refusalPage(int status, const std::string& message) {
    return pageWith("Return=refused\nStatus=" + std::to_string(status) +
                    "\nErrorMessage=" + message);
}
