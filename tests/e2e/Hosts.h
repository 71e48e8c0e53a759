// The hosts' objects of the end-to-end tests: a back channel shared by many proxies that counts
// what each thread heard, and a host that dies by SIGKILL at a chosen step. Its steps are the
// callbacks the proxy makes on it, through its back channel and on the PKI component it handed
// over, whose calls it passes on to the real one; each is written as a line to a descriptor
// first, so that a parent sees how far the host came.
#pragma once

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <map>
#include <mutex>
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

// Hands each callback to noted(): its kind, the thread the component names, its first text.
class NotingBackChannel : public HostObject<IvelBackChannel> {
public:
    explicit NotingBackChannel(LONG level) : HostObject(kIvelBackChannelMembers), m_level(level) {}

    STDMETHODIMP get_lTraceLevel(LONG* level) override { return *level = m_level, S_OK; }
    STDMETHODIMP put_lTraceLevel(LONG) override { return S_OK; }
    STDMETHODIMP Error(LONG thread, LONG, LONG, LONG, BSTR text, BSTR, BSTR) override {
        return noted("Error", thread, &text);
    }
    STDMETHODIMP Progress(LONG thread, LONG, LONG, LONG, BSTR, BSTR, BSTR, SHORT, SHORT) override {
        return noted("Progress", thread);
    }
    STDMETHODIMP Info(LONG thread, LONG, LONG, LONG, BSTR text, BSTR, BSTR) override {
        return noted("Info", thread, &text);
    }
    STDMETHODIMP Trace(LONG thread, LONG, LONG, LONG, BSTR text) override {
        return noted("Trace", thread, &text);
    }
    STDMETHODIMP Data(LONG thread, LONG, LONG, VARIANT*) override { return noted("Data", thread); }

protected:
    virtual HRESULT noted(const std::string& kind, LONG thread, const BSTR* text = nullptr) = 0;

private:
    const LONG m_level;
};

struct ThreadCounts {
    long answers = 0, traces = 0, errors = 0;
};

// One back channel for every proxy of the process: per thread that the component names, the
// answers, trace lines and error reports, and how often the thread named is not the one calling.
class CountingBackChannel final : public NotingBackChannel {
public:
    CountingBackChannel() : NotingBackChannel(7) {}

    std::map<LONG, ThreadCounts> counts() const {
        const std::lock_guard lock(m_mutex);
        return m_counts;
    }
    long misnamedThreads() const {
        const std::lock_guard lock(m_mutex);
        return m_misnamed;
    }

private:
    HRESULT noted(const std::string& kind, LONG thread, const BSTR*) override {
        const auto field = kind == "Info"    ? &ThreadCounts::answers
                           : kind == "Trace" ? &ThreadCounts::traces
                           : kind == "Error" ? &ThreadCounts::errors
                                             : nullptr;
        if (field == nullptr) return S_OK;
        const std::lock_guard lock(m_mutex);
        ++(m_counts[thread].*field);
        if (thread != static_cast<LONG>(GetCurrentThreadId())) ++m_misnamed;
        return S_OK;
    }

    mutable std::mutex m_mutex;
    std::map<LONG, ThreadCounts> m_counts;
    long m_misnamed = 0;
};

class Steps {
public:
    // killAt 0: never.
    Steps(int report, int killAt) : m_report(report), m_killAt(killAt) {}

    HRESULT step(std::string line) {
        if (!armed) return S_OK;
        line.erase(line.find_last_not_of("\r\n") + 1);
        line += '\n';
        if (write(m_report, line.data(), line.size()) < 0 || ++m_count == m_killAt) raise(SIGKILL);
        return S_OK;
    }

    bool armed = false;

private:
    int m_report, m_killAt, m_count = 0;
};

class DyingBackChannel final : public NotingBackChannel {
public:
    explicit DyingBackChannel(Steps& steps) : NotingBackChannel(9), m_steps(steps) {}

private:
    HRESULT noted(const std::string& kind, LONG, const BSTR* text) override {
        return m_steps.step(text ? kind + " " + toUtf8(*text) : kind);
    }

    Steps& m_steps;
};

#define VEL_PASS_ON(method, parameters, arguments) \
    STDMETHODIMP method parameters override {      \
        m_steps.step("PKI " #method);              \
        return m_pki->method arguments;            \
    }

class DyingPkiExtension final : public HostObject<ISMPrivateKeyInfrastructureEx> {
public:
    DyingPkiExtension(Steps& steps, ISMPrivateKeyInfrastructureEx* pki)
        : HostObject({}), m_steps(steps), m_pki(pki) {}
    VEL_PASS_ON(ImportRequestedCertificate2, (BSTR file, BSTR reference, BSTR* password, LONG* id),
                (file, reference, password, id))

private:
    Steps& m_steps;
    ISMPrivateKeyInfrastructureEx* m_pki;
};

class DyingPki final : public HostObject<ISMPrivateKeyInfrastructure> {
public:
    DyingPki(Steps& steps, ISMPrivateKeyInfrastructure* pki, ISMPrivateKeyInfrastructureEx* ex)
        : HostObject(kISMPrivateKeyInfrastructureMembers),
          m_steps(steps),
          m_pki(pki),
          m_extension(steps, ex) {}

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
        if (!IsEqualIID(riid, IID_ISMPrivateKeyInfrastructureEx))
            return HostObject::QueryInterface(riid, object);
        *object = static_cast<ISMPrivateKeyInfrastructureEx*>(&m_extension);
        return m_extension.AddRef(), S_OK;
    }
    VEL_PASS_ON(FindKey, (LONG id, ISMAsymKey** key), (id, key))
    VEL_PASS_ON(Verify2, (LONG id, LONG online, CertStatus* status), (id, online, status))
    VEL_PASS_ON(Verify, (ISMCertificate * certificate, LONG online, CertStatus* status),
                (certificate, online, status))
    VEL_PASS_ON(ImportKey, (LONG id, ISMAsymKey* key), (id, key))
    VEL_PASS_ON(ExportPKCS12,
                (BSTR file, BSTR password, ISMCertificate* certificate, ISMAsymKey* key,
                 LONG chain),
                (file, password, certificate, key, chain))
    VEL_PASS_ON(Import, (ISMCertificateList * certificates, ISMCRLList* lists),
                (certificates, lists))
    VEL_PASS_ON(Load, (BSTR file, ISMCertificateList** certificates, ISMCRLList** lists),
                (file, certificates, lists))
    VEL_PASS_ON(LoadPKCS12,
                (BSTR file, BSTR password, ISMCertificateList** certificates, ISMKeyList** keys),
                (file, password, certificates, keys))
    VEL_PASS_ON(Export,
                (BSTR file, FileFormat format, FileEncoding encoding, ISMCertificateList* list),
                (file, format, encoding, list))
    VEL_PASS_ON(Export2, (BSTR file, FileFormat format, FileEncoding encoding, VARIANT ids),
                (file, format, encoding, ids))
    VEL_PASS_ON(Find,
                (CertType * type, CertStatus* status, BSTR* address, LONG* isDefault,
                 BSTR* commonName, VARIANT* issuer, BSTR* serial, ISMCertificateList** list),
                (type, status, address, isDefault, commonName, issuer, serial, list))
    VEL_PASS_ON(GetCertificate, (LONG id, ISMCertificate** certificate), (id, certificate))
    VEL_PASS_ON(GetIssuer, (ISMCertificate * certificate, LONG depth, ISMCertificateList** chain),
                (certificate, depth, chain))
    VEL_PASS_ON(HasValidCertifiedKey, (BSTR address, ISMCertificateList** list, LONG* hasKey),
                (address, list, hasKey))
    VEL_PASS_ON(FindValidCerts,
                (VARIANT addresses, VARIANT* found, VARIANT* notFound, ISMCertificateList** list),
                (addresses, found, notFound, list))
    VEL_PASS_ON(AdjustDefaults, (ISMCertificateList * list), (list))
    VEL_PASS_ON(CreateCertificateList, (ISMCertificateList * *list), (list))
    VEL_PASS_ON(CreateRequest,
                (RequestType type, BSTR password, VARIANT attributes, ISMRequest** request),
                (type, password, attributes, request))
    VEL_PASS_ON(AddRequest, (ISMRequest * request, BSTR reference), (request, reference))
    VEL_PASS_ON(GetOpenRequests, (VARIANT * references), (references))
    VEL_PASS_ON(ImportRequestedCertificate, (BSTR file, BSTR reference, LONG* id),
                (file, reference, id))
    VEL_PASS_ON(Revoke, (ISMCertificate * certificate), (certificate))
    VEL_PASS_ON(ExportKey,
                (BSTR file, BSTR password, FileFormat format, FileEncoding encoding,
                 ISMAsymKey* key),
                (file, password, format, encoding, key))
    VEL_PASS_ON(Delete, (ISMCertificate * certificate), (certificate))
    VEL_PASS_ON(Delete2, (LONG id), (id))

private:
    Steps& m_steps;
    ISMPrivateKeyInfrastructure* m_pki;
    DyingPkiExtension m_extension;
};
