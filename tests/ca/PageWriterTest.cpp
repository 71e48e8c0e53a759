// The page writer's markup read back by the component's parser, and the Base64 lines that must
// not begin with one of the reader's keywords.
#include "tests/ca/CaTest.h"

#include "ca/Html.h"
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

// The page as the client reads it: outcome, status and message, each value, the action.
std::string readBack(const ca::Page& page) {
    const Answer answer = readAnswer(ca::writePage(page));
    std::string text = (answer.parsed ? "" : "unreadable: ") + answer.result + " " +
                       std::to_string(answer.status) + " " + answer.message;
    for (const auto& [name, value] : answer.params) text += "|" + name + "=" + value;
    if (!answer.actionUrl.empty())
        text += "|" + answer.actionUrl + (answer.post ? " POST" : " GET");
    return text;
}

TEST(PageWriterTest, EveryPageKindReadsBackAsWritten) {
    const ca::PageAction submit{"submit", "http://h/a/x/submit", true},
        fetch{"f", "http://h/f", false};
    EXPECT_EQ(
        readBack(
            {"t", "Create", 100, "", {{"-challenge", "c1"}, {"-refnum", "7", "NUMBER"}}, submit}),
        "Create 100 |-challenge=c1|-refnum=7|http://h/a/x/submit POST");
    EXPECT_EQ(readBack({"t", "refused", 2, "wrong password", {}, std::nullopt}),
              "refused 2 wrong password");
    EXPECT_EQ(readBack({"t", "PickUp", 100, "m", {{"-reference_list", ""}, {"x", "y", ""}}, fetch}),
              "PickUp 100 m|-reference_list=|x=y|http://h/f GET");
    // Markup text is kept as it is, and read back so.
    EXPECT_EQ(readBack({"t", "R", 5, "<b>&'\"", {{"-serial", "xn--b <!-- a -!> b"}}, std::nullopt}),
              "R 5 <b>&'\"|-serial=xn--b <!-- a -!> b");
    const std::string base64(150, 'A');
    const std::vector<ca::PageParam> both{{"crl", base64, "X.509", true},
                                          {"cert", base64, "", true}};
    EXPECT_EQ(withoutLineEnds(readBack({"t", "CRL", 100, "", both, std::nullopt})),
              "CRL 100 |cert=" + base64 + "|crl=" + base64);
}

// Outside the markup comments every text is escaped, whatever part of a person's page holds it;
// inside, a value that would end the comment or start a new key refuses the page.
TEST(PageWriterTest, PageTextIsEscapedAndNoValueEndsItsComment) {
    const std::string hostile = "<img src=x onerror='a()'>&\"";
    const ca::Form form{hostile, hostile, {{ca::Input::Kind::Hidden, hostile, hostile}}};
    const std::string body = ca::Html()
                                 .heading(hostile)
                                 .paragraph(hostile, hostile)
                                 .preformatted(hostile)
                                 .facts({{hostile, hostile}})
                                 .table({hostile}, {{{hostile}, form}})
                                 .links({{hostile, hostile, hostile, hostile}})
                                 .form({hostile, hostile, {{ca::Input::Kind::Text, hostile}}})
                                 .text();
    std::string page = ca::writePage(
        {hostile, "R", 5, hostile, {{hostile, hostile}}, std::nullopt, ca::Language::German, body});
    for (std::size_t open; (open = page.find("<!--")) != std::string::npos;)
        page.erase(open, page.find("-->", open) + 3 - open);
    EXPECT_EQ(page.find("<img"), std::string::npos) << page;
    EXPECT_EQ(page.find("'"), std::string::npos) << page;
    EXPECT_NE(page.find("&lt;img src=x onerror=&#39;a()&#39;&gt;&amp;&quot;"), std::string::npos);

    for (const std::string bad : {"a-->", "x--!><img>", "a\nStatus=100", "a\rb"}) {
        SCOPED_TRACE(bad);
        EXPECT_THROW(ca::writePage({"t", "R", 100, bad, {}, std::nullopt}), std::invalid_argument);
        EXPECT_THROW(ca::writePage({"t", "R", 100, "", {{"v", bad}}, std::nullopt}),
                     std::invalid_argument);
        EXPECT_THROW(ca::writeStartPage({bad, "", "", "", "", ""}, ca::Language::English, "t", ""),
                     std::invalid_argument);
    }
}

TEST(PageWriterTest, Base64LinesNeverBeginWithAKeyword) {
    const std::string line(64, 'Q');
    const std::tuple<const char*, std::string, std::vector<std::size_t>> rows[] = {
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
    for (const auto& [name, text, expectedLengths] : rows) {
        SCOPED_TRACE(name);
        const std::vector<std::string> lines = ca::wrapValue(text);
        std::vector<std::size_t> lengths;
        for (const std::string& each : lines) {
            lengths.push_back(each.size());
            EXPECT_TRUE(&each == &lines.front() || !ca::beginsWithKeyword(each)) << each;
        }
        EXPECT_EQ(lengths, expectedLengths);
        const Answer answer =
            readAnswer(ca::writePage({"t", "R", 100, "", {{"v", text, "", true}}, std::nullopt}));
        EXPECT_EQ(answer.params.at("v"), asRead(lines));
    }
}

}  // namespace
