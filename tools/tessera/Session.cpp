#include "Session.h"

#include <cstdio>

#include <velPKI/velPKI.h>
#include <velTesseraComm/ErrorCodes.h>

#include "CommandFailure.h"
#include "Text.h"

namespace {

// The transport's failures are HRESULTs of the WinINet numbers 12001 to 12200.
bool isTransportFailure(HRESULT result) {
    const DWORD code = static_cast<DWORD>(result) & 0xFFFF;
    return HRESULT_FACILITY(result) == FACILITY_WIN32 && code > 12000 && code <= 12200;
}

std::string hex(HRESULT result) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(result));
    return text;
}

template <typename Interface>
velcom::ComPtr<Interface> createByProgId(const char16_t* progId, const char* what) {
    CLSID clsid{};
    velcom::ComPtr<Interface> object;
    HRESULT result = CLSIDFromProgID(progId, &clsid);
    if (SUCCEEDED(result))
        result = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, velcom::uuidOf<Interface>(),
                                  object.putVoid());
    if (FAILED(result))
        throw CommandFailure(ExitCode::Failed, std::string("cannot create ") + what + " (" +
                                                   hex(result) +
                                                   "): is it registered? (velregsvr MODULE)");
    return object;
}

// The component's own failures, which carry no text of their own for the host.
struct ComponentFailure {
    HRESULT code;
    ExitCode exit;
    const char* meaning;
};
constexpr ComponentFailure kComponentFailures[] = {
    {TSR_E_RESPONSE, ExitCode::Failed, "the authority's answer lacks what the dialogue needs"},
    {TSR_E_COMM_NOT_INITIALIZED, ExitCode::Failed, "the start address gave no start page"},
    {TSR_E_SERIAL, ExitCode::Failed, "the authority named another certificate"},
    {TSR_E_PICKUP, ExitCode::NotIssued,
     "the authority has no certificate to pick up for the store's open requests"},
    {VELPKI_E_UNTRUSTED, ExitCode::Failed,
     "the certificate does not chain to the trusted authority (tessera trust); not stored"},
    {VELPKI_E_BAD_SIGNATURE, ExitCode::Failed,
     "the revocation list is not signed by the trusted authority; the store is unchanged"},
    {VELPKI_E_EXPIRED, ExitCode::Failed,
     "the revocation list is out of date (its next update has passed); the store is unchanged"},
};

}  // namespace

Session::Session(Settings& settings, bool talk)
    : m_channel(HostBackChannel::create(settings.verbose)) {
    m_pki =
        createByProgId<ISMPrivateKeyInfrastructure>(u"velTesseraComm2.velPKI", "the PKI component");
    if (!settings.storePath.empty()) {
        velcom::ComPtr<IvelPKIStore> store;
        if (FAILED(m_pki.as(store)) || FAILED(store->Open(toBstr(settings.storePath).get())))
            throw CommandFailure(ExitCode::Failed, "cannot open the store " + settings.storePath);
    }
    if (!talk) return;
    if (settings.startAddress.empty())
        throw CommandFailure(ExitCode::Usage,
                             "no start address: give --start URL or TESSERA_START");
    if (settings.temporaryDir.empty()) {
        m_ownTemporary.emplace("tessera");
        m_temporaryPath = m_ownTemporary->path();
    } else {
        m_temporaryPath = settings.temporaryDir;
    }
    m_anchorBundle.emplace(*m_pki.get(), m_temporaryPath);
    m_proxy = createByProgId<IvelTesseraProxy>(u"velTesseraComm2.velTesseraProxy", "the proxy");
    run([&] {
        return m_proxy->Init(m_channel.get(), nullptr, m_pki.get(), toBstr(m_temporaryPath).get());
    });
    run([&] { return m_proxy->InitComm(toBstr(settings.startAddress).get(), VARIANT{}); });
}

Session::~Session() {
    m_proxy.reset();
    m_pki.reset();
    m_channel.reset();
    CoFreeUnusedLibraries();
}

void Session::fail(HRESULT result) const {
    for (const ErrorReport& report : m_channel->errors())
        if (report.code == static_cast<LONG>(TSR_E_SERVER))
            throw CommandFailure(ExitCode::Refused, "the authority refused (Status " +
                                                        report.text1 + "): " + report.text2);
    for (const ComponentFailure& known : kComponentFailures)
        if (result == known.code) throw CommandFailure(known.exit, known.meaning);
    std::string reason = m_channel->failureTrace();
    if (reason.empty()) {
        velcom::ComPtr<IErrorInfo> info;
        velcom::Bstr description;
        if (GetErrorInfo(0, info.put()) == S_OK &&
            SUCCEEDED(info->GetDescription(description.put())))
            reason = toUtf8(description.get());
    }
    throw CommandFailure(
        isTransportFailure(result) ? ExitCode::Unreachable : ExitCode::Failed,
        (reason.empty() ? std::string("failed") : reason) + " (" + hex(result) + ")");
}
