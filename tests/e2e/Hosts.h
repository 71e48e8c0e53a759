// The hosts' objects of the end-to-end tests: a back channel that hands each callback on, and a
// host that dies by SIGKILL at a chosen step.
#pragma once

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <string>

#include <velTesseraComm/DispatchTables.h>
#include <velTesseraComm/velTesseraComm.h>

#include "Text.h"

// Lives on the stack of the test or of a host process that ends by _exit or SIGKILL: it counts the
// references it gave out, but does not own itself.
template <class Interface>
class HostObject : public velcom::DispatchImpl<Interface> {
public:
    using velcom::DispatchImpl<Interface>::DispatchImpl;

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
        const bool known = IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) ||
                           IsEqualIID(riid, velcom::uuidOf<Interface>());
        *object = known ? static_cast<Interface*>(this) : nullptr;
        return known ? (AddRef(), S_OK) : E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_references; }
    STDMETHODIMP_(ULONG) Release() override { return --m_references; }
    ULONG references() const { return m_references; }

private:
    std::atomic<ULONG> m_references{0};
};

// Hands each callback to a note: its kind, the thread the component names, its first text.
class NotingBackChannel : public HostObject<IvelBackChannel> {
public:
    using Note = std::function<void(const std::string& kind, LONG thread, const std::string& text)>;
    NotingBackChannel(LONG level, Note note)
        : HostObject(kIvelBackChannelMembers), m_level(level), m_note(std::move(note)) {}

    STDMETHODIMP get_lTraceLevel(LONG* level) override { return *level = m_level, S_OK; }
    STDMETHODIMP put_lTraceLevel(LONG) override { return S_OK; }
    STDMETHODIMP Error(LONG thread, LONG, LONG, LONG, BSTR text, BSTR, BSTR) override {
        return noted("Error", thread, text);
    }
    STDMETHODIMP Progress(LONG thread, LONG, LONG, LONG, BSTR, BSTR, BSTR, SHORT, SHORT) override {
        return noted("Progress", thread);
    }
    STDMETHODIMP Info(LONG thread, LONG, LONG, LONG, BSTR text, BSTR, BSTR) override {
        return noted("Info", thread, text);
    }
    STDMETHODIMP Trace(LONG thread, LONG, LONG, LONG, BSTR text) override {
        return noted("Trace", thread, text);
    }
    STDMETHODIMP Data(LONG thread, LONG, LONG, VARIANT*) override { return noted("Data", thread); }

private:
    HRESULT noted(const char* kind, LONG thread, BSTR text = nullptr) {
        m_note(kind, thread, text ? toUtf8(text) : std::string());
        return S_OK;
    }

    const LONG m_level;
    const Note m_note;
};

// Once armed, writes each callback (here and on its PKI component) as a line to the descriptor
// report, so that a parent sees how far the host came, and dies at the killAt'th (never when 0).
class DyingBackChannel final : public NotingBackChannel {
public:
    DyingBackChannel(int report, int killAt)
        : NotingBackChannel(9, [this](const std::string& kind, LONG,
                                      const std::string& text) { step(kind + " " + text); }),
          m_report(report),
          m_killAt(killAt) {}

    HRESULT step(std::string line) {
        if (!armed) return S_OK;
        line.erase(line.find_last_not_of("\r\n ") + 1);
        line += '\n';
        if (write(m_report, line.data(), line.size()) < 0 || ++m_count == m_killAt) raise(SIGKILL);
        return S_OK;
    }

    bool armed = false;

private:
    int m_report, m_killAt, m_count = 0;
};

// The host's PKI component: each call is a step of the host, then goes on to the real one.
#define VEL_PASS_ON(method, parameters, arguments) \
    STDMETHODIMP method parameters override {      \
        m_host.step("PKI " #method);               \
        return m_pki->method arguments;            \
    }

class DyingPkiExtension final : public HostObject<ISMPrivateKeyInfrastructureEx> {
public:
    DyingPkiExtension(DyingBackChannel& host, ISMPrivateKeyInfrastructureEx* pki)
        : HostObject({}), m_host(host), m_pki(pki) {}
    VEL_PASS_ON(ImportRequestedCertificate2, (BSTR a, BSTR b, BSTR* c, LONG* d), (a, b, c, d))

private:
    DyingBackChannel& m_host;
    ISMPrivateKeyInfrastructureEx* m_pki;
};

class DyingPki final : public HostObject<ISMPrivateKeyInfrastructure> {
public:
    DyingPki(DyingBackChannel& host, ISMPrivateKeyInfrastructure* pki,
             ISMPrivateKeyInfrastructureEx* extension)
        : HostObject(kISMPrivateKeyInfrastructureMembers),
          m_host(host),
          m_pki(pki),
          m_extension(host, extension) {}

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
        if (!IsEqualIID(riid, IID_ISMPrivateKeyInfrastructureEx))
            return HostObject::QueryInterface(riid, object);
        *object = static_cast<ISMPrivateKeyInfrastructureEx*>(&m_extension);
        return m_extension.AddRef(), S_OK;
    }
    // Parameters named by position: they are only passed on.
    VEL_PASS_ON(FindKey, (LONG a, ISMAsymKey** b), (a, b))
    VEL_PASS_ON(Verify2, (LONG a, LONG b, CertStatus* c), (a, b, c))
    VEL_PASS_ON(Verify, (ISMCertificate * a, LONG b, CertStatus* c), (a, b, c))
    VEL_PASS_ON(ImportKey, (LONG a, ISMAsymKey* b), (a, b))
    VEL_PASS_ON(ExportPKCS12, (BSTR a, BSTR b, ISMCertificate* c, ISMAsymKey* d, LONG e),
                (a, b, c, d, e))
    VEL_PASS_ON(Import, (ISMCertificateList * a, ISMCRLList* b), (a, b))
    VEL_PASS_ON(Load, (BSTR a, ISMCertificateList** b, ISMCRLList** c), (a, b, c))
    VEL_PASS_ON(LoadPKCS12, (BSTR a, BSTR b, ISMCertificateList** c, ISMKeyList** d), (a, b, c, d))
    VEL_PASS_ON(Export, (BSTR a, FileFormat b, FileEncoding c, ISMCertificateList* d), (a, b, c, d))
    VEL_PASS_ON(Export2, (BSTR a, FileFormat b, FileEncoding c, VARIANT d), (a, b, c, d))
    VEL_PASS_ON(Find,
                (CertType * a, CertStatus* b, BSTR* c, LONG* d, BSTR* e, VARIANT* f, BSTR* g,
                 ISMCertificateList** h),
                (a, b, c, d, e, f, g, h))
    VEL_PASS_ON(GetCertificate, (LONG a, ISMCertificate** b), (a, b))
    VEL_PASS_ON(GetIssuer, (ISMCertificate * a, LONG b, ISMCertificateList** c), (a, b, c))
    VEL_PASS_ON(HasValidCertifiedKey, (BSTR a, ISMCertificateList** b, LONG* c), (a, b, c))
    VEL_PASS_ON(FindValidCerts, (VARIANT a, VARIANT* b, VARIANT* c, ISMCertificateList** d),
                (a, b, c, d))
    VEL_PASS_ON(AdjustDefaults, (ISMCertificateList * a), (a))
    VEL_PASS_ON(CreateCertificateList, (ISMCertificateList * *a), (a))
    VEL_PASS_ON(CreateRequest, (RequestType a, BSTR b, VARIANT c, ISMRequest** d), (a, b, c, d))
    VEL_PASS_ON(AddRequest, (ISMRequest * a, BSTR b), (a, b))
    VEL_PASS_ON(GetOpenRequests, (VARIANT * a), (a))
    VEL_PASS_ON(ImportRequestedCertificate, (BSTR a, BSTR b, LONG* c), (a, b, c))
    VEL_PASS_ON(Revoke, (ISMCertificate * a), (a))
    VEL_PASS_ON(ExportKey, (BSTR a, BSTR b, FileFormat c, FileEncoding d, ISMAsymKey* e),
                (a, b, c, d, e))
    VEL_PASS_ON(Delete, (ISMCertificate * a), (a))
    VEL_PASS_ON(Delete2, (LONG a), (a))

private:
    DyingBackChannel& m_host;
    ISMPrivateKeyInfrastructure* m_pki;
    DyingPkiExtension m_extension;
};
