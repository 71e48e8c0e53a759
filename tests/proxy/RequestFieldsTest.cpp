#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "markup/mtGParser.h"
#include "markup/mtGScanner.h"
#include "module/ModuleLock.h"
#include "proxy/ProxyObject.h"

namespace {

using Strings = std::vector<std::string>;

class RequestFieldsTest : public ::testing::Test {
protected:
    void TearDown() override {
        proxy.reset();
        EXPECT_EQ(moduleLockCount(), 0);
    }

    ProxyObject proxy;
    CvelTesseraProxy& object = proxy.object();
    const std::unique_ptr<ParentNode> answer = [] {
        mtGScanner scanner(
            "Return=R\nParam1=-Challenge\nValue1=abc\nParam2=-refnum\nValue2=12\n"
            "Param3=-Challenge\nValue3=second\nParam4=-empty\n");
        return std::unique_ptr<ParentNode>(
            dynamic_cast<ParentNode*>(mtGParser::parseBlock(scanner)));
    }();
};

TEST_F(RequestFieldsTest, FindParamMatchesWholeNamesIgnoringCaseAndGivesTheServersSpelling) {
    const struct {
        const char* name;
        bool found;
        const char* serverName;
        const char* value;
    } cases[] = {
        {"-challenge", true, "-Challenge", "abc"},  // the first of two of the name wins
        {"-EMPTY", true, "-empty", ""},
        {"-missing", false, "", ""},
        {"-refnu", false, "", ""},  // no prefix match
    };
    for (const auto& row : cases) {
        std::string name;
        std::string value;
        EXPECT_EQ(findParam(answer.get(), row.name, &name, &value), row.found) << row.name;
        EXPECT_EQ(name, row.serverName) << row.name;
        EXPECT_EQ(value, row.value) << row.name;
    }
}

TEST_F(RequestFieldsTest, FieldsAreNameValuePairsInTheOrderAdded) {
    EXPECT_TRUE(object.addField("-agb", "on"));
    EXPECT_TRUE(object.copyParam(answer.get(), "-REFNUM"));
    EXPECT_FALSE(object.copyParam(answer.get(), "-missing"));
    EXPECT_EQ(object.fields(), (Strings{"-agb", "on", "-refnum", "12"}));
}

TEST_F(RequestFieldsTest, CopyParamsStopsAtTheFirstMissingNameKeepingWhatCameBefore) {
    const char* const names[] = {"-refnum", "-missing", "-challenge", nullptr};
    EXPECT_FALSE(object.copyParams(answer.get(), names));
    EXPECT_EQ(object.fields(), (Strings{"-refnum", "12"}));
    const char* const all[] = {"-challenge", "-empty", nullptr};
    EXPECT_TRUE(object.copyParams(answer.get(), all));
    EXPECT_EQ(object.fields(), (Strings{"-refnum", "12", "-Challenge", "abc", "-empty", ""}));
}

}  // namespace
