#include "support/ScriptedTransport.h"

#include <algorithm>
#include <ctime>
#include <stdexcept>

namespace {

// The interface under which the proxy asks for the error information of a failed Init.
constexpr IID kInitErrorInterface{
    0xB05CDA1D, 0x36C8, 0x11D4, {0xB4, 0xC3, 0x00, 0xE0, 0x29, 0x44, 0x41, 0x3E}};

velcom::Variant deliveryValue(const TransportAnswer::Delivery& delivery) {
    if (delivery.type == (VT_ARRAY | VT_UI1)) return makeByteArray(delivery.content);
    velcom::Variant value;
    value.put()->vt = VT_BSTR;
    value.get()->bstrVal = toBstr(delivery.content).detach();
    return value;
}

}  // namespace

std::vector<std::pair<std::string, std::string>> TransportRequest::fieldPairs() const {
    std::vector<std::pair<std::string, std::string>> pairs;
    for (std::size_t index = 0; index < fields.items.size(); index += 2)
        pairs.emplace_back(fields.items[index],
                           index + 1 < fields.items.size() ? fields.items[index + 1] : "");
    return pairs;
}

std::optional<std::string> TransportRequest::field(std::string_view name) const {
    for (const auto& [fieldName, value] : fieldPairs())
        if (fieldName == name) return value;
    return std::nullopt;
}

TransportAnswer TransportAnswer::page(std::string_view bytes, std::size_t chunkSize) {
    TransportAnswer answer;
    const std::size_t size = chunkSize == 0 ? bytes.size() : chunkSize;
    for (std::size_t offset = 0; offset < bytes.size(); offset += size)
        answer.bytes(bytes.substr(offset, size));
    return answer;
}

TransportAnswer TransportAnswer::failure(HRESULT result, std::string description,
                                         std::string_view partialPage) {
    TransportAnswer answer = page(partialPage);
    answer.returning(result, std::move(description));
    return answer;
}

TransportAnswer& TransportAnswer::bytes(std::string_view chunk) {
    deliveries.push_back({VT_ARRAY | VT_UI1, std::string(chunk)});
    return *this;
}

TransportAnswer& TransportAnswer::text(std::string_view content) {
    deliveries.push_back({VT_BSTR, std::string(content)});
    return *this;
}

TransportAnswer& TransportAnswer::returning(HRESULT code, std::string errorDescription) {
    result = code;
    description = std::move(errorDescription);
    return *this;
}

void TransportScript::queue(TransportAnswer answer) { m_answers.push_back(std::move(answer)); }

void TransportScript::queuePage(std::string_view page, std::size_t chunkSize) {
    queue(TransportAnswer::page(page, chunkSize));
}

// One transport object. Its reference count is a plain counter: the apartment is single-threaded.
class ScriptedTransport final : public DispatchStub<IvelTransport>,
                                public ISupportErrorInfo,
                                public IRunnableObject {
public:
    explicit ScriptedTransport(std::shared_ptr<TransportScript> script)
        : m_script(std::move(script)) {
        ++m_script->m_liveTransports;
    }
    ~ScriptedTransport() {
        --m_script->m_liveTransports;
        if (m_backChannel && m_script->m_backChannel == m_backChannel.get())
            m_script->m_backChannel = nullptr;
    }
    ScriptedTransport(const ScriptedTransport&) = delete;
    ScriptedTransport& operator=(const ScriptedTransport&) = delete;

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
        if (object == nullptr) return E_POINTER;
        *object = nullptr;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch))
            *object = static_cast<IvelTransport*>(this);
        else if (IsEqualIID(riid, IID_IvelTransport) && m_script->offersTransport)
            *object = static_cast<IvelTransport*>(this);
        else if (IsEqualIID(riid, IID_ISupportErrorInfo))
            *object = static_cast<ISupportErrorInfo*>(this);
        else if (IsEqualIID(riid, IID_IRunnableObject))
            *object = static_cast<IRunnableObject*>(this);
        if (*object == nullptr) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_references; }
    STDMETHODIMP_(ULONG) Release() override {
        const ULONG left = --m_references;
        if (left == 0) delete this;
        return left;
    }

    STDMETHODIMP InterfaceSupportsErrorInfo(REFIID riid) override {
        return IsEqualIID(riid, IID_IvelTransport) || IsEqualIID(riid, kInitErrorInterface)
                   ? S_OK
                   : S_FALSE;
    }

    STDMETHODIMP GetRunningClass(LPCLSID clsid) override {
        if (clsid == nullptr) return E_INVALIDARG;
        *clsid = CLSID_velTransport;
        return S_OK;
    }
    STDMETHODIMP Run(LPBINDCTX) override {
        return m_script->m_methods.enter("Run", IID_IRunnableObject);
    }
    STDMETHODIMP_(BOOL) IsRunning() override { return TRUE; }
    STDMETHODIMP LockRunning(BOOL, BOOL) override { return S_OK; }
    STDMETHODIMP SetContainedObject(BOOL) override { return S_OK; }

    STDMETHODIMP Init(IvelBackChannel* backChannel, IvelRand* random) override {
        const HRESULT result = m_script->m_methods.enter("Init", IID_IvelTransport);
        if (result != S_OK) return result;
        m_backChannel = velcom::ComPtr<IvelBackChannel>(backChannel);
        m_script->m_backChannel = backChannel;
        m_script->m_random = random;
        return S_OK;
    }
    STDMETHODIMP Reserved1() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved2() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved3() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved4() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved5() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved6() override { return E_NOTIMPL; }
    STDMETHODIMP Post(BSTR options, BSTR address, VARIANT headers, VARIANT fields) override {
        return answer("POST", options, address, headers, fields);
    }
    STDMETHODIMP Get(BSTR options, BSTR address, VARIANT headers, VARIANT fields) override {
        return answer("GET", options, address, headers, fields);
    }

private:
    HRESULT answer(const char* method, BSTR options, BSTR address, const VARIANT& headers,
                   const VARIANT& fields) {
        // The callbacks may drop the caller's last reference; the object must outlive them.
        const velcom::ComPtr<IvelTransport> self(this);
        TransportScript& script = *m_script;
        const std::size_t index = script.m_requests.size();
        script.m_requests.push_back({method,
                                     toAnsi(options),
                                     toAnsi(address),
                                     readListArgument(headers),
                                     readListArgument(fields),
                                     {}});
        const std::string name = std::string(method) + " " + script.m_requests[index].address;
        if (!m_backChannel)
            return failWithDescription(E_UNEXPECTED, IID_IvelTransport, name + " before Init");
        if (script.m_answers.empty())
            return failWithDescription(E_UNEXPECTED, IID_IvelTransport,
                                       "no answer scripted for " + name);
        const TransportAnswer answer = std::move(script.m_answers.front());
        script.m_answers.pop_front();
        const velcom::ComPtr<IvelBackChannel> backChannel = m_backChannel;
        for (const TransportAnswer::Delivery& delivery : answer.deliveries) {
            velcom::Variant value = deliveryValue(delivery);
            const HRESULT result =
                backChannel->Data(static_cast<LONG>(GetCurrentThreadId()),
                                  static_cast<LONG>(std::time(nullptr)), 0, value.get());
            script.m_requests[index].dataResults.push_back(result);
        }
        if (FAILED(answer.result))
            return failWithDescription(answer.result, IID_IvelTransport, answer.description);
        return answer.result;
    }

    ULONG m_references = 0;
    std::shared_ptr<TransportScript> m_script;
    velcom::ComPtr<IvelBackChannel> m_backChannel;
};

// The class object registered for CLSID_velTransport; it lives as long as the registration.
class TransportClassObject final : public IClassFactory {
public:
    explicit TransportClassObject(std::shared_ptr<TransportScript> script)
        : m_script(std::move(script)) {}
    virtual ~TransportClassObject() = default;
    TransportClassObject(const TransportClassObject&) = delete;
    TransportClassObject& operator=(const TransportClassObject&) = delete;

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
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_references; }
    STDMETHODIMP_(ULONG) Release() override {
        const ULONG left = --m_references;
        if (left == 0) delete this;
        return left;
    }

    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** object) override {
        if (object == nullptr) return E_POINTER;
        *object = nullptr;
        if (const HRESULT result = m_script->m_methods.enter("CreateInstance", IID_IClassFactory);
            result != S_OK)
            return result;
        if (outer != nullptr) return CLASS_E_NOAGGREGATION;
        const velcom::ComPtr<IvelTransport> transport(new ScriptedTransport(m_script));
        return transport->QueryInterface(riid, object);
    }
    STDMETHODIMP LockServer(BOOL) override { return S_OK; }

private:
    ULONG m_references = 0;
    std::shared_ptr<TransportScript> m_script;
};

TransportRegistration::TransportRegistration() : m_script(std::make_shared<TransportScript>()) {
    m_apartmentEntered = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    const velcom::ComPtr<IClassFactory> classObject(new TransportClassObject(m_script));
    const HRESULT result = CoRegisterClassObject(
        CLSID_velTransport, classObject.get(), CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &m_cookie);
    if (FAILED(result)) {
        if (m_apartmentEntered) CoUninitialize();
        throw std::runtime_error("the transport double cannot be registered");
    }
}

TransportRegistration::~TransportRegistration() {
    CoRevokeClassObject(m_cookie);
    if (m_apartmentEntered) CoUninitialize();
}
