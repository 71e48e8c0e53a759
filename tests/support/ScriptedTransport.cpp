#include "support/ScriptedTransport.h"

#include "support/CallSide.h"

#include <ctime>
#include <stdexcept>

// One transport object, created by the class object, which is one too (not counted as live).
class ScriptedTransport final : public CountedDouble<IvelTransport>,
                                public IRunnableObject,
                                public IClassFactory {
public:
    ScriptedTransport(std::shared_ptr<TransportScript> script, bool live)
        : m_script(std::move(script)), m_live(live) {
        m_script->liveTransports += live ? 1 : 0;
    }
    ~ScriptedTransport() override {
        m_script->liveTransports -= m_live ? 1 : 0;
        if (m_backChannel && m_script->backChannel == m_backChannel.get())
            m_script->backChannel = nullptr;
    }

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
        *object = nullptr;
        if (IsEqualIID(riid, IID_IRunnableObject))
            *object = static_cast<IRunnableObject*>(this);
        else if (IsEqualIID(riid, IID_IClassFactory))
            *object = static_cast<IClassFactory*>(this);
        else if (!m_script->offersTransport && IsEqualIID(riid, IID_IvelTransport))
            return E_NOINTERFACE;
        else
            return CountedDouble::QueryInterface(riid, object);
        return AddRef(), S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return CountedDouble::AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return CountedDouble::Release(); }
    STDMETHODIMP InterfaceSupportsErrorInfo(REFIID riid) override {
        // Also the interface under which the proxy asks for the error information of a failed Init.
        constexpr IID initErrors{
            0xB05CDA1D, 0x36C8, 0x11D4, {0xB4, 0xC3, 0x00, 0xE0, 0x29, 0x44, 0x41, 0x3E}};
        return IsEqualIID(riid, initErrors) ? S_OK
                                            : CountedDouble::InterfaceSupportsErrorInfo(riid);
    }

    STDMETHODIMP Run(LPBINDCTX) override {
        const CallSide side(Side::host);
        return m_script->enter("Run", IID_IRunnableObject);
    }
    STDMETHODIMP_(BOOL) IsRunning() override { return TRUE; }
    VEL_FOR_EACH(VEL_NOT_IMPLEMENTED, (GetRunningClass, LPCLSID), (LockRunning, BOOL, BOOL),
                 (SetContainedObject, BOOL), (LockServer, BOOL), (Reserved1), (Reserved2),
                 (Reserved3), (Reserved4), (Reserved5), (Reserved6))

    // As the class object: a new transport for each instance.
    STDMETHODIMP CreateInstance(IUnknown*, REFIID riid, void** object) override {
        const CallSide side(Side::host);
        *object = nullptr;
        const HRESULT result = m_script->enter("CreateInstance", IID_IClassFactory);
        return result != S_OK ? result
                              : velcom::ComPtr<IvelTransport>(new ScriptedTransport(m_script, true))
                                    ->QueryInterface(riid, object);
    }

    STDMETHODIMP Init(IvelBackChannel* backChannel, IvelRand* random) override {
        const CallSide side(Side::host);
        if (const HRESULT result = m_script->enter("Init", IID_IvelTransport); result != S_OK)
            return result;
        m_backChannel = velcom::ComPtr<IvelBackChannel>(backChannel);
        m_script->backChannel = backChannel;
        m_script->random = random;
        return S_OK;
    }
    STDMETHODIMP Post(BSTR options, BSTR address, VARIANT headers, VARIANT fields) override {
        return answer("POST", options, address, headers, fields);
    }
    STDMETHODIMP Get(BSTR options, BSTR address, VARIANT headers, VARIANT fields) override {
        return answer("GET", options, address, headers, fields);
    }

private:
    HRESULT answer(const char* method, BSTR options, BSTR address, const VARIANT& headers,
                   const VARIANT& fields) {
        const CallSide side(Side::host);
        // The callbacks may drop the caller's last reference; the object must outlive them.
        const velcom::ComPtr<IvelTransport> self(this);
        TransportScript& script = *m_script;
        script.requests.push_back({method, toAnsi(options), toAnsi(address),
                                   readListArgument(headers), readListArgument(fields)});
        if (!m_backChannel || script.answers.empty())
            return failWithDescription(E_UNEXPECTED, IID_IvelTransport,
                                       "no answer scripted for " + toAnsi(address));
        const TransportAnswer answer = std::move(script.answers.front());
        script.answers.pop_front();
        const velcom::ComPtr<IvelBackChannel> backChannel = m_backChannel;
        for (const std::string& chunk : answer.chunks) {
            velcom::Variant value = makeByteArray(chunk);
            const CallSide callback(Side::component);
            if (!chunk.empty())
                backChannel->Data(static_cast<LONG>(GetCurrentThreadId()),
                                  static_cast<LONG>(std::time(nullptr)), 0, value.get());
        }
        return FAILED(answer.result)
                   ? failWithDescription(answer.result, IID_IvelTransport, answer.description)
                   : answer.result;
    }

    std::shared_ptr<TransportScript> m_script;
    bool m_live;
    velcom::ComPtr<IvelBackChannel> m_backChannel;
};

TransportRegistration::TransportRegistration() {
    m_apartmentEntered = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    const velcom::ComPtr<IClassFactory> factory(new ScriptedTransport(script, false));
    if (FAILED(CoRegisterClassObject(CLSID_velTransport, factory.get(), CLSCTX_INPROC_SERVER,
                                     REGCLS_MULTIPLEUSE, &m_cookie))) {
        if (m_apartmentEntered) CoUninitialize();
        throw std::runtime_error("the transport double cannot be registered");
    }
}

TransportRegistration::~TransportRegistration() {
    CoRevokeClassObject(m_cookie);
    if (m_apartmentEntered) CoUninitialize();
}
