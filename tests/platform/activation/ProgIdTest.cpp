#include <gtest/gtest.h>

#include <string>

#include "ActivationFixture.h"

namespace {

constexpr CLSID kClass{
    0x0C2D4E6F, 0x8A9B, 0x4C1D, {0x9E, 0x2F, 0x30, 0x41, 0x52, 0x63, 0x74, 0x85}};
constexpr const char* kClassText = "{0c2d4e6f-8a9b-4c1d-9e2f-304152637485}";

using ActivationProgIdTest = ActivationFixture;

TEST_F(ActivationProgIdTest, VersionIndependentProgIdFollowsCurVer) {
    setClassesRootText("Vel.Answer.2\\CLSID", kClassText);
    setClassesRootText("Vel.Answer\\CurVer", "Vel.Answer.2");
    for (const char16_t* progId : {u"Vel.Answer.2", u"Vel.Answer", u"vel.answer"}) {
        SCOPED_TRACE(testing::PrintToString(std::u16string(progId)));
        CLSID clsid{};
        EXPECT_EQ(CLSIDFromProgID(progId, &clsid), S_OK);
        EXPECT_EQ(clsid, kClass);
        clsid = {};
        EXPECT_EQ(CLSIDFromString(progId, &clsid), S_OK);
        EXPECT_EQ(clsid, kClass);
    }
}

TEST_F(ActivationProgIdTest, UnknownBrokenOrCircularProgIdIsAClassStringError) {
    setClassesRootText("Vel.Ping\\CurVer", "Vel.Pong");
    setClassesRootText("Vel.Pong\\CurVer", "Vel.Ping");
    setClassesRootText("Vel.Broken\\CLSID", "not a class");
    setClassesRootText("Vel.Outer\\Inner\\CLSID", kClassText);
    for (const char16_t* progId :
         {u"Vel.Nowhere", u"Vel.Ping", u"Vel.Broken", u"Vel.Outer\\Inner", u"", u"Vel.\xD800"}) {
        SCOPED_TRACE(testing::PrintToString(std::u16string(progId)));
        CLSID clsid = kClass;
        EXPECT_EQ(CLSIDFromProgID(progId, &clsid), CO_E_CLASSSTRING);
        EXPECT_EQ(clsid, GUID_NULL);
        EXPECT_EQ(CLSIDFromString(progId, &clsid), CO_E_CLASSSTRING);
    }
    CLSID clsid{};
    EXPECT_EQ(CLSIDFromProgID(nullptr, &clsid), E_INVALIDARG);
}

}  // namespace
