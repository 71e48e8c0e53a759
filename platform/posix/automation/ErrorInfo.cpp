// The per-thread error object and the standard object that CreateErrorInfo hands out.
#include <atomic>
#include <new>
#include <string>

#include <velcom/ComPtr.h>
#include <velcom/posix/objbase.h>

namespace {

class ErrorInfoObject final : public IErrorInfo, public ICreateErrorInfo {
public:
    // IUnknown, reached through either base.
    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
        if (object == nullptr) return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IErrorInfo))
            *object = static_cast<IErrorInfo*>(this);
        else if (IsEqualIID(riid, IID_ICreateErrorInfo))
            *object = static_cast<ICreateErrorInfo*>(this);
        else {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_references; }
    STDMETHODIMP_(ULONG) Release() override {
        const ULONG remaining = --m_references;
        if (remaining == 0) delete this;
        return remaining;
    }

    STDMETHODIMP GetGUID(GUID* guid) override {
        if (guid == nullptr) return E_INVALIDARG;
        *guid = m_guid;
        return S_OK;
    }
    STDMETHODIMP GetSource(BSTR* text) override { return copyOut(m_source, text); }
    STDMETHODIMP GetDescription(BSTR* text) override { return copyOut(m_description, text); }
    STDMETHODIMP GetHelpFile(BSTR* text) override { return copyOut(m_helpFile, text); }
    STDMETHODIMP GetHelpContext(DWORD* context) override {
        if (context == nullptr) return E_INVALIDARG;
        *context = m_helpContext;
        return S_OK;
    }

    STDMETHODIMP SetGUID(REFGUID guid) override {
        m_guid = guid;
        return S_OK;
    }
    STDMETHODIMP SetSource(LPOLESTR text) override { return copyIn(text, m_source); }
    STDMETHODIMP SetDescription(LPOLESTR text) override { return copyIn(text, m_description); }
    STDMETHODIMP SetHelpFile(LPOLESTR text) override { return copyIn(text, m_helpFile); }
    STDMETHODIMP SetHelpContext(DWORD context) override {
        m_helpContext = context;
        return S_OK;
    }

private:
    ~ErrorInfoObject() = default;

    static HRESULT copyIn(LPOLESTR text, std::u16string& field) {
        field = text == nullptr ? std::u16string() : std::u16string(text);
        return S_OK;
    }
    // An empty field reads as a null BSTR, as the system's error object answers.
    static HRESULT copyOut(const std::u16string& field, BSTR* text) {
        if (text == nullptr) return E_INVALIDARG;
        *text = nullptr;
        if (field.empty()) return S_OK;
        *text = SysAllocStringLen(field.data(), static_cast<UINT>(field.size()));
        return *text == nullptr ? E_OUTOFMEMORY : S_OK;
    }

    std::atomic<ULONG> m_references{1};
    GUID m_guid = GUID_NULL;
    std::u16string m_source;
    std::u16string m_description;
    std::u16string m_helpFile;
    DWORD m_helpContext = 0;
};

velcom::ComPtr<IErrorInfo>& threadErrorInfo() {
    thread_local velcom::ComPtr<IErrorInfo> errorInfo;
    return errorInfo;
}

}  // namespace

extern "C" HRESULT SetErrorInfo(ULONG reserved, IErrorInfo* errorInfo) {
    if (reserved != 0) return E_INVALIDARG;
    threadErrorInfo() = velcom::ComPtr<IErrorInfo>(errorInfo);
    return S_OK;
}

// Hands the error object over to the caller and clears it for the thread.
extern "C" HRESULT GetErrorInfo(ULONG reserved, IErrorInfo** errorInfo) {
    if (reserved != 0 || errorInfo == nullptr) return E_INVALIDARG;
    *errorInfo = threadErrorInfo().detach();
    return *errorInfo == nullptr ? S_FALSE : S_OK;
}

extern "C" HRESULT CreateErrorInfo(ICreateErrorInfo** errorInfo) {
    if (errorInfo == nullptr) return E_INVALIDARG;
    auto* object = new (std::nothrow) ErrorInfoObject();
    *errorInfo = object;
    return object == nullptr ? E_OUTOFMEMORY : S_OK;
}
