// What the tests of applying for and renewing a certificate share: a proxy whose temporary
// directory is a real one, the answer pages of the server's dialogue, and what the host saw.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <unistd.h>

#include "proxy/ProxyTest.h"

namespace enrollment {

struct Param {
    std::string name;
    std::string value;
    std::string type = {};
};
using Params = std::vector<Param>;
using Strings = std::vector<std::string>;
// A trace line the host received: its level and its text.
using TraceLine = std::pair<LONG, std::string>;
using TraceLines = std::vector<TraceLine>;

// The markup lines of parameter groups, numbered from 1.
inline std::string parameterLines(const Params& params) {
    std::string lines;
    for (std::size_t index = 0; index < params.size(); ++index) {
        const std::string number = std::to_string(index + 1);
        lines += "Param" + number + "=" + params[index].name + "\n";
        if (!params[index].type.empty()) lines += "Type" + number + "=" + params[index].type + "\n";
        lines += "Value" + number + "=" + params[index].value + "\n";
    }
    return lines;
}

// An answer page: a Return block named `name` with status 100 and the parameters, and, when
// actionUrl is given, an Action block naming the next request.
inline std::string answerPage(const std::string& name, const Params& params,
                              const std::string& actionUrl = {}, const char* method = "POST") {
    std::string page =
        "<html><body><!-- ???\nReturn=" + name + "\nStatus=100\n" + parameterLines(params) + "-->";
    if (!actionUrl.empty())
        page += "<!-- ???\nAction=next\nURL=" + actionUrl + "\nMethod=" + method + "\n-->";
    return page + "</body></html>";
}

// A page on which the server refuses with the status and message.
inline std::string refusalPage(int status, const std::string& message) {
    return pageWith("Return=refused\nStatus=" + std::to_string(status) +
                    "\nErrorMessage=" + message);
}

inline std::string contentOf(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream content;
    content << file.rdbuf();
    return content.str();
}

class EnrollmentTest : public ProxyTest {
protected:
    void SetUp() override {
        directory = std::filesystem::temp_directory_path() /
                    ("tessera-enrollment-" + std::to_string(::getpid()) + "-" +
                     ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(directory);
        std::filesystem::create_directories(directory);
    }
    void TearDown() override {
        std::filesystem::remove_all(directory);
        ProxyTest::TearDown();
    }

    // Init with the real directory and InitComm with the default start page.
    void openInDirectory() {
        ASSERT_EQ(init(directory.u16string().c_str()), S_OK);
        ASSERT_EQ(initComm(), S_OK);
    }

    std::string pathOf(const char* name) const { return (directory / name).string(); }

    TraceLines traceLines() const {
        TraceLines lines;
        for (const auto& call : callbacks("Trace"))
            lines.emplace_back(call.code, toAnsi(call.text1));
        return lines;
    }
    // The trace lines and reported errors from the index-th on, so that a test can look at one
    // call only.
    TraceLines traceLinesFrom(std::size_t index) const {
        const TraceLines lines = traceLines();
        return index < lines.size()
                   ? TraceLines(lines.begin() + static_cast<long>(index), lines.end())
                   : TraceLines{};
    }

    std::vector<std::string> pkiMethods() const { return pki->methods(); }
    Strings argumentsOf(const char* method, std::size_t index = 0) const {
        const auto calls = pki->callsTo(method);
        return index < calls.size() ? calls[index].arguments : Strings{"<no such call>"};
    }

    std::filesystem::path directory;
};

}  // namespace enrollment
