#include "PageTransport.h"

#include <cstring>
#include <ctime>
#include <utility>

#include <velTesseraComm/velTesseraComm.h>

#include "CountedObject.h"

namespace {

std::string narrow(BSTR text) {
    std::string result;
    // Addresses are ASCII.
    for (UINT index = 0; index < SysStringLen(text); ++index)
        result.push_back(static_cast<char>(text[index]));
    return result;
}

class PageTransport final : public IvelTransport, public CountedObject<PageTransport> {
public:
    explicit PageTransport(std::shared_ptr<TransportLog> log) : m_log(std::move(log)) {}

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
        if (object == nullptr) return E_POINTER;
        if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IDispatch) &&
            !IsEqualIID(riid, IID_IvelTransport)) {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        *object = static_cast<IvelTransport*>(this);
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return addReference(); }
    STDMETHODIMP_(ULONG) Release() override { return releaseReference(); }

    // The component calls its transport through the vtable only.
    STDMETHODIMP GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                        UINT*) override {
        return E_NOTIMPL;
    }

    STDMETHODIMP Init(IvelBackChannel* backChannel, IvelRand*) override {
        m_backChannel = velcom::ComPtr<IvelBackChannel>(backChannel);
        return S_OK;
    }
    STDMETHODIMP Reserved1() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved2() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved3() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved4() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved5() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved6() override { return E_NOTIMPL; }
    STDMETHODIMP Post(BSTR, BSTR address, VARIANT, VARIANT) override { return answer(address); }
    STDMETHODIMP Get(BSTR, BSTR address, VARIANT, VARIANT) override { return answer(address); }

private:
    ~PageTransport() = default;
    friend class CountedObject<PageTransport>;

    HRESULT answer(BSTR address) {
        m_log->addresses.push_back(narrow(address));
        if (!m_backChannel || m_log->pages.empty()) return E_UNEXPECTED;
        const std::string page = std::move(m_log->pages.front());
        m_log->pages.pop_front();

        velcom::Variant data;
        SAFEARRAY* bytes = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(page.size()));
        if (bytes == nullptr) return E_OUTOFMEMORY;
        data.put()->vt = VT_ARRAY | VT_UI1;
        data.get()->parray = bytes;
        {
            const velcom::SafeArrayData<char> content(bytes);
            if (content.data() == nullptr) return content.result();
            std::memcpy(content.data(), page.data(), page.size());
        }
        return m_backChannel->Data(static_cast<LONG>(GetCurrentThreadId()),
                                   static_cast<LONG>(std::time(nullptr)), 0, data.get());
    }

    std::shared_ptr<TransportLog> m_log;
    velcom::ComPtr<IvelBackChannel> m_backChannel;
};

class PageTransportClass final : public IClassFactory, public CountedObject<PageTransportClass> {
public:
    explicit PageTransportClass(std::shared_ptr<TransportLog> log) : m_log(std::move(log)) {}

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
        if (object == nullptr) return E_POINTER;
        if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IClassFactory)) {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        *object = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return addReference(); }
    STDMETHODIMP_(ULONG) Release() override { return releaseReference(); }

    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** object) override {
        if (object == nullptr) return E_POINTER;
        *object = nullptr;
        if (outer != nullptr) return CLASS_E_NOAGGREGATION;
        const velcom::ComPtr<IvelTransport> transport(new PageTransport(m_log));
        return transport->QueryInterface(riid, object);
    }
    STDMETHODIMP LockServer(BOOL) override { return S_OK; }

private:
    ~PageTransportClass() = default;
    friend class CountedObject<PageTransportClass>;

    std::shared_ptr<TransportLog> m_log;
};

}  // namespace

PageTransportRegistration::PageTransportRegistration(std::deque<std::string> pages)
    : m_log(std::make_shared<TransportLog>()) {
    m_log->pages = std::move(pages);
    const velcom::ComPtr<IClassFactory> classObject(new PageTransportClass(m_log));
    m_registered =
        SUCCEEDED(CoRegisterClassObject(CLSID_velTransport, classObject.get(), CLSCTX_INPROC_SERVER,
                                        REGCLS_MULTIPLEUSE, &m_cookie));
}

PageTransportRegistration::~PageTransportRegistration() {
    if (m_registered) CoRevokeClassObject(m_cookie);
}
