#include "Session.h"

#include <strings.h>

#include <velPKI/velPKI.h>
#include <velTesseraComm/ErrorCodes.h>
#include <velTransport/TransportErrors.h>

#include "ErrorDescription.h"
#include "Installation.h"
#include "RefusalPage.h"
#include "Text.h"

namespace {

// The transport's failures are HRESULTs of the WinINet numbers 12001 to 12200.
bool isTransportFailure(HRESULT result) {
    const DWORD code = static_cast<DWORD>(result) & 0xFFFF;
    return HRESULT_FACILITY(result) == FACILITY_WIN32 && code > 12000 && code <= 12200;
}

std::string notRegistered(const char* what, HRESULT result) {
    return std::string("cannot create ") + what + " (" + hexCode(result) +
           "): are the modules registered? Register them with: " + registrationCommand();
}

template <typename Interface>
velcom::ComPtr<Interface> createByProgId(const char16_t* progId, const char* what) {
    CLSID clsid{};
    velcom::ComPtr<Interface> object;
    HRESULT result = CLSIDFromProgID(progId, &clsid);
    if (SUCCEEDED(result))
        result = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, velcom::uuidOf<Interface>(),
                                  object.putVoid());
    if (FAILED(result)) throw CommandFailure(ExitCode::Failed, notRegistered(what, result));
    return object;
}

// Only an http or https address with a host can be a start address; anything else would reach
// the transport and come back as an unreachable authority.
bool isWebAddress(const std::string& address) {
    for (const char* scheme : {"http://", "https://"}) {
        const std::size_t length = std::char_traits<char>::length(scheme);
        if (address.size() > length && strncasecmp(address.c_str(), scheme, length) == 0 &&
            address[length] != '/')
            return true;
    }
    return false;
}

// The failures that carry no text of their own for the host, or whose text names no fix.
struct KnownFailure {
    HRESULT code;
    ExitCode exit;
    const char* meaning;
};
const KnownFailure kKnownFailures[] = {
    {TSR_E_RESPONSE, ExitCode::Failed, "the authority's answer lacks what the dialogue needs"},
    {TSR_E_COMM_NOT_INITIALIZED, ExitCode::Failed, "the start address gave no start page"},
    {TSR_E_SERIAL, ExitCode::Refused,
     "the authority no longer lists this certificate as a valid certificate of this applicant: "
     "it may already be revoked"},
    {TSR_E_PICKUP, ExitCode::NotIssued,
     "the authority has no certificate to pick up for the store's open requests"},
    {E_ACCESSDENIED, ExitCode::Usage, "the key password is wrong"},
    {HRESULT_FROM_WIN32(ERROR_INTERNET_INVALID_URL), ExitCode::Usage,
     "the start address is not a valid address"},
    {HRESULT_FROM_WIN32(ERROR_INTERNET_UNRECOGNIZED_SCHEME), ExitCode::Usage,
     "the start address is neither http nor https"},
    {VELPKI_E_UNTRUSTED, ExitCode::Failed,
     "the certificate does not chain to the trusted authority (tessera trust); not stored"},
    {VELPKI_E_BAD_SIGNATURE, ExitCode::Failed,
     "the revocation list is not signed by the trusted authority; the store is unchanged"},
    {VELPKI_E_EXPIRED, ExitCode::Failed,
     "the revocation list is out of date (its next update has passed); the store is unchanged"},
};

// What the user can do about a failure whose own text does not say it.
std::string fixFor(HRESULT result) {
    if (result == HRESULT_FROM_WIN32(ERROR_INTERNET_INVALID_CA))
        return "; to trust the authority's certificate, add its CA with `tessera trust` or name a "
               "CA bundle in VELTRANSPORT_CA_BUNDLE";
    if (result == REGDB_E_CLASSNOTREG || result == CO_E_CLASSSTRING)
        return "; register the modules with: " + registrationCommand();
    return {};
}

}  // namespace

Session::Session(Settings& settings, bool talk)
    : m_channel(HostBackChannel::create(settings.verbose)) {
    m_pki =
        createByProgId<ISMPrivateKeyInfrastructure>(u"velTesseraComm2.velPKI", "the PKI component");
    velcom::ComPtr<IvelPKIStore> store;
    if (FAILED(m_pki.as(store)))
        throw CommandFailure(ExitCode::Failed, "the PKI component manages no store");
    HRESULT result = S_OK;
    if (!settings.storePath.empty() &&
        FAILED(result = store->Open(toBstr(settings.storePath).get())))
        throw CommandFailure(ExitCode::Failed, "cannot open the store " + settings.storePath +
                                                   ": " + reasonFor(result));
    if (!settings.keyType.empty() &&
        FAILED(result = store->put_KeyType(toBstr(settings.keyType).get())))
        throw CommandFailure(ExitCode::Failed, "the store cannot make " + settings.keyType +
                                                   " keys: " + reasonFor(result));
    if (!talk) return;
    if (settings.startAddress.empty())
        throw CommandFailure(ExitCode::Usage,
                             "no start address: give --start URL or TESSERA_START");
    if (!isWebAddress(settings.startAddress))
        throw CommandFailure(ExitCode::Usage, "the start address " + settings.startAddress +
                                                  " is not an http:// or https:// address");
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
    if (const std::optional<PageRefusal> refusal = refusalIn(m_channel->lastPage()))
        throw CommandFailure(ExitCode::Refused, "the authority refused the start address (Status " +
                                                    refusal->status + "): " + refusal->message);
}

Session::~Session() {
    m_proxy.reset();
    m_pki.reset();
    m_channel.reset();
    CoFreeUnusedLibraries();
}

CommandFailure Session::failure(HRESULT result) const {
    for (const ErrorReport& report : m_channel->errors())
        if (report.code == static_cast<LONG>(TSR_E_SERVER))
            return CommandFailure(ExitCode::Refused, "the authority refused (Status " +
                                                         report.text1 + "): " + report.text2);
    for (const KnownFailure& known : kKnownFailures)
        if (result == known.code) return CommandFailure(known.exit, known.meaning);
    std::string reason = m_channel->failureTrace();
    if (reason.empty()) reason = errorDescription();
    return CommandFailure(isTransportFailure(result) ? ExitCode::Unreachable : ExitCode::Failed,
                          (reason.empty() ? std::string("failed") : reason) + " (" +
                              hexCode(result) + ")" + fixFor(result));
}
