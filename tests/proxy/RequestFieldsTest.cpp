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

std::unique_ptr<ParentNode> returnNode(std::string_view block) {
    mtGScanner scanner(block);
    return std::unique_ptr<ParentNode>(dynamic_cast<ParentNode*>(mtGParser::parseBlock(scanner)));
}

class RequestFieldsTest : public ::testing::Test {
protected:
    void TearDown() override {
        proxy.reset();
        EXPECT_EQ(moduleLockCount(), 0);
    }

    ProxyObject proxy;
    const std::unique_ptr<ParentNode> answer = returnNode(
        "Return=R\nParam1=-Challenge\nValue1=abc\nParam2=-refnum\nValue2=12\n"
        "Param3=-Challenge\nValue3=second\nParam4=-empty\n");
};

TEST_F(RequestFieldsTest, FindParamMatchesNamesIgnoringCaseAndGivesTheServersSpelling) {
    std::string name;
    std::string value;
    ASSERT_TRUE(findParam(answer.get(), "-challenge", &name, &value));
    EXPECT_EQ(name, "-Challenge");
    EXPECT_EQ(value, "abc") << "the first of two parameters with the name wins";
    ASSERT_TRUE(findParam(answer.get(), "-EMPTY", &name, &value));
    EXPECT_EQ(value, "");
    EXPECT_FALSE(findParam(answer.get(), "-missing", &name, &value));
    EXPECT_FALSE(findParam(answer.get(), "-refnu", &name, &value)) << "no prefix match";
}

TEST_F(RequestFieldsTest, FieldsAreNameValuePairsInTheOrderAdded) {
    CvelTesseraProxy& object = proxy.object();
    EXPECT_TRUE(object.addField("-agb", "on"));
    EXPECT_TRUE(object.copyParam(answer.get(), "-REFNUM"));
    EXPECT_FALSE(object.copyParam(answer.get(), "-missing"));
    EXPECT_EQ(object.fields(), (Strings{"-agb", "on", "-refnum", "12"}));
}

TEST_F(RequestFieldsTest, CopyParamsStopsAtTheFirstMissingNameKeepingWhatCameBefore) {
    CvelTesseraProxy& object = proxy.object();
    const char* const names[] = {"-refnum", "-missing", "-challenge", nullptr};
    EXPECT_FALSE(object.copyParams(answer.get(), names));
    EXPECT_EQ(object.fields(), (Strings{"-refnum", "12"}));

    const char* const all[] = {"-challenge", "-empty", nullptr};
    EXPECT_TRUE(object.copyParams(answer.get(), all));
    EXPECT_EQ(object.fields(), (Strings{"-refnum", "12", "-Challenge", "abc", "-empty", ""}));
}

}  // namespace
