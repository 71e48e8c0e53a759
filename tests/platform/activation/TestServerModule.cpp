// An in-process server with one class: what CoCreateInstance loads through the registry.
#include <atomic>

#include "TestServer.h"

#define TEST_SERVER_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

std::atomic<long> g_liveObjects{0};
std::atomic<long> g_serverLocks{0};

template <class Interface>
HRESULT handOut(Interface* self, REFIID riid, REFIID own, void** object) {
    *object = riid == IID_IUnknown || riid == own ? self : nullptr;
    return *object == nullptr ? E_NOINTERFACE : (self->AddRef(), S_OK);
}

class AnswerObject final : public ITestAnswer {
public:
    AnswerObject() { ++g_liveObjects; }
    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
        return handOut<ITestAnswer>(this, riid, IID_ITestAnswer, object);
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_references; }
    STDMETHODIMP_(ULONG) Release() override {
        const ULONG left = --m_references;
        if (left == 0) delete this;
        return left;
    }
    STDMETHODIMP_(int) Answer() override { return kTestServerAnswer; }

private:
    ~AnswerObject() { --g_liveObjects; }

    std::atomic<ULONG> m_references{1};
};

// Static: references to it count as locks on the server, as COM expects of class objects.
class AnswerFactory final : public IClassFactory {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
        return handOut<IClassFactory>(this, riid, IID_IClassFactory, object);
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(++g_serverLocks); }
    STDMETHODIMP_(ULONG) Release() override { return static_cast<ULONG>(--g_serverLocks); }
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** object) override {
        *object = nullptr;
        if (outer != nullptr) return CLASS_E_NOAGGREGATION;
        auto* created = new AnswerObject;
        const HRESULT result = created->QueryInterface(riid, object);
        created->Release();
        return result;
    }
    STDMETHODIMP LockServer(BOOL lock) override {
        g_serverLocks += lock ? 1 : -1;
        return S_OK;
    }
} g_factory;

}  // namespace

TEST_SERVER_EXPORT HRESULT DllGetClassObject(REFCLSID clsid, REFIID riid, LPVOID* object) {
    *object = nullptr;
    if (!IsEqualCLSID(clsid, CLSID_TestServer)) return CLASS_E_CLASSNOTAVAILABLE;
    return g_factory.QueryInterface(riid, object);
}

TEST_SERVER_EXPORT HRESULT DllCanUnloadNow() {
    return g_liveObjects == 0 && g_serverLocks == 0 ? S_OK : S_FALSE;
}
