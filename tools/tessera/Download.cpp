#include "Download.h"

#include <velTesseraComm/DispatchTables.h>
#include <velTesseraComm/velTesseraComm.h>

#include <atomic>

#include "CommandFailure.h"
#include "ErrorDescription.h"
#include "Text.h"

namespace {

// Keeps the body and the status of the one answer; nothing else of the transport's talk.
class Collector final : public velcom::DispatchImpl<IvelBackChannel> {
public:
    static velcom::ComPtr<Collector> create() {
        return velcom::ComPtr<Collector>::attach(new Collector());
    }

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
        const bool known = IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) ||
                           IsEqualIID(riid, IID_IvelBackChannel);
        *object = known ? static_cast<IvelBackChannel*>(this) : nullptr;
        return known ? (AddRef(), S_OK) : E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_references; }
    STDMETHODIMP_(ULONG) Release() override {
        const ULONG left = --m_references;
        if (left == 0) delete this;
        return left;
    }
    STDMETHODIMP get_lTraceLevel(LONG* level) override { return *level = 0, S_OK; }
    STDMETHODIMP put_lTraceLevel(LONG) override { return S_OK; }
    STDMETHODIMP Error(LONG, LONG, LONG, LONG, BSTR, BSTR, BSTR) override { return S_OK; }
    STDMETHODIMP Progress(LONG, LONG, LONG, LONG, BSTR, BSTR, BSTR, SHORT, SHORT) override {
        return S_OK;
    }
    STDMETHODIMP Info(LONG, LONG, LONG, LONG status, BSTR line, BSTR, BSTR) override {
        m_status = status;
        m_statusLine = toUtf8(line);
        return S_OK;
    }
    STDMETHODIMP Trace(LONG, LONG, LONG, LONG, BSTR) override { return S_OK; }
    STDMETHODIMP Data(LONG, LONG, LONG, VARIANT* data) override {
        if (data == nullptr || data->vt != (VT_ARRAY | VT_UI1) || data->parray == nullptr)
            return S_OK;
        const velcom::SafeArrayData<char> bytes(data->parray);
        if (bytes.data() == nullptr) return bytes.result();
        m_body.append(bytes.data(), data->parray->rgsabound[0].cElements);
        return S_OK;
    }

    LONG status() const { return m_status; }
    const std::string& statusLine() const { return m_statusLine; }
    const std::string& body() const { return m_body; }

private:
    Collector() : DispatchImpl(kIvelBackChannelMembers) {}

    std::atomic<ULONG> m_references{1};
    LONG m_status = 0;
    std::string m_statusLine, m_body;
};

velcom::ComPtr<IvelTransport> createTransport() {
    CLSID clsid{};
    velcom::ComPtr<IvelTransport> transport;
    HRESULT result = CLSIDFromProgID(u"velTesseraComm2.velTransport", &clsid);
    if (SUCCEEDED(result))
        result = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IvelTransport,
                                  transport.putVoid());
    if (FAILED(result))
        throw CommandFailure(ExitCode::Failed,
                             "cannot create the transport: is it registered? (velregsvr MODULE)");
    return transport;
}

}  // namespace

std::string download(const std::string& address) {
    const velcom::ComPtr<Collector> collector = Collector::create();
    const velcom::ComPtr<IvelTransport> transport = createTransport();
    HRESULT result = transport->Init(collector.get(), nullptr);
    if (SUCCEEDED(result)) {
        const velcom::Bstr options = toBstr(""), target = toBstr(address);
        result = transport->Get(options.get(), target.get(), VARIANT{}, VARIANT{});
    }
    if (FAILED(result))
        throw CommandFailure(ExitCode::Unreachable, "cannot fetch " + address + reasonAfter());
    if (collector->status() != 200)
        throw CommandFailure(ExitCode::Failed, address + " answered " +
                                                   (collector->statusLine().empty()
                                                        ? std::to_string(collector->status())
                                                        : collector->statusLine()));
    return collector->body();
}
