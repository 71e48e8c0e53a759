#include "BenchTransport.h"

#include <algorithm>
#include <string>
#include <string_view>

namespace {

// The action of a Progress while an answer arrives.
constexpr SHORT kReceiving = 1;

constexpr std::string_view kStartPage =
    "<!-- !!!\nReturn\nCreateCertficate=https://ca.test/create\n-->";

// Objects of the benchmark live as long as the program; their counts only keep COM's rules.
template <class Interface>
class Immortal : public Interface {
public:
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
};

class Transport final : public Immortal<IvelTransport> {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) ||
            IsEqualIID(riid, IID_IvelTransport)) {
            *object = static_cast<IvelTransport*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
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
        m_startPending = true;
        m_turn = 0;
        return S_OK;
    }
    STDMETHODIMP Reserved1() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved2() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved3() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved4() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved5() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved6() override { return E_NOTIMPL; }
    STDMETHODIMP Post(BSTR, BSTR, VARIANT, VARIANT) override { return deliver(); }
    STDMETHODIMP Get(BSTR, BSTR, VARIANT, VARIANT) override { return deliver(); }

    void answerWith(const std::string& page, std::size_t chunkSize, bool announced) {
        m_page = prepare(page, chunkSize, announced);
        m_turns.clear();
    }
    void answerInTurn(const std::vector<std::string>& pages) {
        m_turns.clear();
        for (const std::string& page : pages)
            m_turns.push_back(prepare(page, std::max<std::size_t>(page.size(), 1), true));
    }
    // The back channel holds the proxy's reference to its transport; it goes with the proxy.
    void forgetBackChannel() { m_backChannel.reset(); }

private:
    struct Prepared {
        std::vector<velcom::Variant> chunks;
        velcom::Bstr size;  // null: not announced
    };

    static Prepared prepare(std::string_view page, std::size_t chunkSize, bool announced) {
        return {chunksOf(page, chunkSize), announced ? sizeText(page) : velcom::Bstr()};
    }

    static velcom::Bstr sizeText(std::string_view page) {
        const std::string digits = std::to_string(page.size());
        return velcom::Bstr(std::u16string(digits.begin(), digits.end()));
    }

    static std::vector<velcom::Variant> chunksOf(std::string_view page, std::size_t chunkSize) {
        std::vector<velcom::Variant> chunks;
        for (std::size_t at = 0; at < page.size(); at += chunkSize) {
            const std::size_t size = std::min(chunkSize, page.size() - at);
            velcom::Variant& chunk = chunks.emplace_back();
            SAFEARRAY* bytes = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(size));
            {
                const velcom::SafeArrayData<char> data(bytes);
                std::copy_n(page.data() + at, size, data.data());
            }
            chunk.get()->vt = VT_ARRAY | VT_UI1;
            chunk.get()->parray = bytes;
        }
        return chunks;
    }

    HRESULT deliver() {
        Prepared& answer = !m_turns.empty() ? m_turns[m_turn++ % m_turns.size()]
                           : m_startPending ? m_start
                                            : m_page;
        m_startPending = false;
        // As the real transport announces a page whose length the server sent.
        const HRESULT announced =
            m_backChannel->Progress(0, 0, 0, 0, nullptr, answer.size.get(), nullptr, 0, kReceiving);
        if (FAILED(announced)) return announced;
        for (velcom::Variant& chunk : answer.chunks) {
            const HRESULT result = m_backChannel->Data(0, 0, 0, chunk.get());
            if (FAILED(result)) return result;
        }
        return S_OK;
    }

    velcom::ComPtr<IvelBackChannel> m_backChannel;
    // InitComm's request, the first after Init, fetches the start page.
    bool m_startPending = false;
    Prepared m_start = prepare(kStartPage, kStartPage.size(), true);
    Prepared m_page;
    // A conversation's pages, one per request from Init on, when given.
    std::vector<Prepared> m_turns;
    std::size_t m_turn = 0;
};

class Factory final : public Immortal<IClassFactory> {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
            *object = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP CreateInstance(IUnknown*, REFIID riid, void** object) override {
        return transport.QueryInterface(riid, object);
    }
    STDMETHODIMP LockServer(BOOL) override { return S_OK; }

    Transport transport;
};

Factory g_factory;

}  // namespace

BenchTransportRegistration::BenchTransportRegistration() : m_factory(&g_factory) {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (FAILED(CoRegisterClassObject(CLSID_velTransport, m_factory, CLSCTX_INPROC_SERVER,
                                     REGCLS_MULTIPLEUSE, &m_cookie)))
        m_cookie = 0;
}

BenchTransportRegistration::~BenchTransportRegistration() {
    g_factory.transport.forgetBackChannel();
    if (m_cookie != 0) CoRevokeClassObject(m_cookie);
    CoUninitialize();
}

void BenchTransportRegistration::answerWith(const std::string& page, std::size_t chunkSize,
                                            bool announced) {
    g_factory.transport.answerWith(page, chunkSize, announced);
}

void BenchTransportRegistration::answerInTurn(const std::vector<std::string>& pages) {
    g_factory.transport.answerInTurn(pages);
}
