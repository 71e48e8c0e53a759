#include <gtest/gtest.h>

#include <thread>

#include <velcom/com.h>

namespace {

constexpr CLSID kAnyClass{
    0x6B3F2C10, 0x0D1A, 0x4E8B, {0x8C, 0x55, 0x21, 0x9E, 0x4A, 0x70, 0x13, 0x02}};

// Each case runs on a thread of its own, untouched by apartments other tests entered.
template <class Body>
void onFreshThread(Body body) {
    std::thread(body).join();
}

// Asks for a local server only: answered without the registry, from the apartment state alone.
HRESULT askForLocalServer() {
    void* object = nullptr;
    return CoGetClassObject(kAnyClass, CLSCTX_LOCAL_SERVER, nullptr, IID_IClassFactory, &object);
}

TEST(ActivationApartmentTest, InitialisationNestsAndKeepsItsModelUntilLeft) {
    onFreshThread([] {
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_FALSE);
        EXPECT_EQ(CoInitialize(nullptr), RPC_E_CHANGED_MODE);
        CoUninitialize();
        EXPECT_EQ(askForLocalServer(), REGDB_E_CLASSNOTREG) << "one entry is still open";
        CoUninitialize();
        EXPECT_EQ(askForLocalServer(), CO_E_NOTINITIALIZED);
        EXPECT_EQ(CoInitialize(nullptr), S_OK) << "a left apartment may be entered anew";
        CoUninitialize();
    });
}

TEST(ActivationApartmentTest, ThreadThatNeverEnteredCannotActivate) {
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    onFreshThread([] {
        void* object = &object;
        EXPECT_EQ(CoCreateInstance(kAnyClass, nullptr, CLSCTX_ALL, IID_IUnknown, &object),
                  CO_E_NOTINITIALIZED);
        EXPECT_EQ(object, nullptr);
        EXPECT_EQ(CoInitializeEx(&object, COINIT_MULTITHREADED), E_INVALIDARG) << "reserved";
        EXPECT_EQ(askForLocalServer(), CO_E_NOTINITIALIZED);
    });
    CoUninitialize();
}

}  // namespace
