// The page writer's markup read back by the component's parser, and the Base64 lines that must
// not begin with one of the reader's keywords.
#include "tests/ca/CaTest.h"

#include "ca/PageWriter.h"
#include "ca/ValueWrapping.h"

namespace {

// The value the reader makes of a wrapped one: its lines joined by CR LF.
std::string asRead(const std::vector<std::string>& lines) {
    std::string value;
    for (const std::string& line : lines) value += (value.empty() ? "" : "\r\n") + line;
    return value;
}

std::string withoutLineEnds(std::string text) {
    std::erase(text, '\r');
    std::erase(text, '\n');
    return text;
}

TEST(PageWriterTest, EveryPageKindReadsBackAsWritten) {
    const std::string base64(150, 'A');
    struct Row {
        const char* name;
        ca::Page page;
        // The one-line values and the message as the client reads them.
        std::map<std::string, std::string> values;
        std::string message;
    };
    const Row rows[] = {
        {"outcome with action",
         {"t",
          "CreateCertificate",
          100,
          "",
          {{"-challenge", "c1"}, {"-refnum", "7", "NUMBER"}},
          ca::PageAction{"submit", "http://h/a/x/submit", true}},
         {{"-challenge", "c1"}, {"-refnum", "7"}},
         ""},
        {"refusal", {"t", "refused", 2, "wrong password", {}, std::nullopt}, {}, "wrong password"},
        {"empty and untyped values, GET action",
         {"t",
          "PickUpCertificate",
          100,
          "m",
          {{"-reference_list", ""}, {"x", "y", ""}},
          ca::PageAction{"fetch", "http://h/f", false}},
         {{"-reference_list", ""}, {"x", "y"}},
         "m"},
        {"one-line texts that would break the markup",
         {"t", "R", 5, "line\nbreak --> end", {{"-serial", "a\r\nb-->"}}, std::nullopt},
         {{"-serial", "a  b-- >"}},
         "line break -- > end"},
        {"Base64 of every type",
         {"t",
          "CRL",
          100,
          "",
          {{"crl", base64, "X.509", true}, {"cert", base64, "", true}},
          std::nullopt},
         {},
         ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Answer answer = readAnswer(ca::writePage(row.page));
        ASSERT_TRUE(answer.parsed);
        EXPECT_EQ(answer.result, row.page.result);
        EXPECT_EQ(answer.status, row.page.status);
        EXPECT_EQ(answer.message, row.message);
        EXPECT_EQ(answer.params.size(), row.page.params.size());
        for (const ca::PageParam& param : row.page.params)
            EXPECT_EQ(param.base64 ? withoutLineEnds(answer.params[param.name])
                                   : answer.params[param.name],
                      param.base64 ? param.value : row.values.at(param.name))
                << param.name;
        EXPECT_EQ(answer.actionUrl, row.page.action ? row.page.action->url : "");
        if (row.page.action) {
            EXPECT_EQ(answer.post, row.page.action->post);
        }
    }
}

TEST(PageWriterTest, StartPageNamesEveryOperation) {
    const Answer answer = readAnswer(ca::writeStartPage(
        {"http://c", "http://p", "https://r", "http://v", "http://l", "http://k"}));
    ASSERT_TRUE(answer.parsed);
    EXPECT_EQ(answer.start, (std::map<std::string, std::string>{{"CreateCertficate", "http://c"},
                                                                {"PickUpCertificate", "http://p"},
                                                                {"RenewCertificate", "https://r"},
                                                                {"RevokeCertificate", "http://v"},
                                                                {"CRLDownload", "http://l"},
                                                                {"CheckCertificate", "http://k"}}));
}

TEST(PageWriterTest, Base64LinesNeverBeginWithAKeyword) {
    const std::string line(64, 'Q');
    struct Row {
        const char* name;
        std::string text;
        std::vector<std::size_t> lengths;
    };
    const Row rows[] = {
        {"no keyword", line + line + "QQ", {64, 64, 2}},
        {"url at a break", line + "urlQ", {63, 5}},
        {"TYPE at a break", line + "TYPE1", {63, 6}},
        {"Value in mixed case", line + "vAlUeQ", {63, 7}},
        {"Param at the second break", line + line + "ParamQ", {64, 63, 7}},
        {"long keyword", line + "CRLDownload", {63, 12}},
        {"keyword stem cut short by padding", line + "Typ=", {64, 4}},
        {"keyword inside a line", line + "QurlQ", {64, 5}},
        {"status in lower case", line + "status", {63, 7}},
        {"padding right after a keyword", line + "Type=", {63, 6}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::vector<std::string> lines = ca::wrapValue(row.text);
        std::vector<std::size_t> lengths;
        for (std::size_t index = 0; index < lines.size(); ++index) {
            lengths.push_back(lines[index].size());
            if (index > 0) {
                EXPECT_FALSE(ca::beginsWithKeyword(lines[index])) << lines[index];
            }
        }
        EXPECT_EQ(lengths, row.lengths);
        const Answer answer = readAnswer(
            ca::writePage({"t", "R", 100, "", {{"v", row.text, "", true}}, std::nullopt}));
        EXPECT_EQ(answer.params.at("v"), asRead(lines));
    }
}

}  // namespace
