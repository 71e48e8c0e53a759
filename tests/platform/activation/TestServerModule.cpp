// An in-process server with one class: what CoCreateInstance loads through the registry.
#include <atomic>

#include "TestServer.h"

#define TEST_SERVER_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

// References to the static objects and locks on the server: the module may go when none are left.
std::atomic<ULONG> g_holds{0};

template <class Interface, const IID& kOwn>
struct Held : Interface {
    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
        *object = riid == IID_IUnknown || riid == kOwn ? this : nullptr;
        return *object == nullptr ? E_NOINTERFACE : (AddRef(), S_OK);
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++g_holds; }
    STDMETHODIMP_(ULONG) Release() override { return --g_holds; }
};

struct AnswerObject final : Held<ITestAnswer, IID_ITestAnswer> {
    STDMETHODIMP_(int) Answer() override { return kTestServerAnswer; }
} g_answer;

struct AnswerFactory final : Held<IClassFactory, IID_IClassFactory> {
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** object) override {
        *object = nullptr;
        return outer != nullptr ? CLASS_E_NOAGGREGATION : g_answer.QueryInterface(riid, object);
    }
    STDMETHODIMP LockServer(BOOL lock) override { return lock ? ++g_holds : --g_holds, S_OK; }
} g_factory;

}  // namespace

TEST_SERVER_EXPORT HRESULT DllGetClassObject(REFCLSID clsid, REFIID riid, LPVOID* object) {
    *object = nullptr;
    if (!IsEqualCLSID(clsid, CLSID_TestServer)) return CLASS_E_CLASSNOTAVAILABLE;
    return g_factory.QueryInterface(riid, object);
}

TEST_SERVER_EXPORT HRESULT DllCanUnloadNow() { return g_holds == 0 ? S_OK : S_FALSE; }
