// A host that dies by SIGKILL at a chosen step: the steps are the callbacks the proxy makes on it,
// through its back channel and on the PKI component it handed over, whose calls it passes on to
// the real one. Each step is written as a line to a descriptor first, so that a parent sees how
// far the host came.
#pragma once

#include <signal.h>
#include <unistd.h>

#include <string>

#include <velTesseraComm/DispatchTables.h>
#include <velTesseraComm/velTesseraComm.h>

#include "Text.h"

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

// Objects on the stack of a process that ends by _exit or SIGKILL: their counts are not kept.
template <class Interface>
class HostObject : public velcom::DispatchImpl<Interface> {
public:
    HostObject(std::span<const velcom::DispatchMember> members, Steps& steps)
        : velcom::DispatchImpl<Interface>(members), m_steps(steps) {}

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
        const bool known = IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) ||
                           IsEqualIID(riid, velcom::uuidOf<Interface>());
        *object = known ? static_cast<Interface*>(this) : nullptr;
        return known ? S_OK : E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }

protected:
    Steps& m_steps;
};

class DyingBackChannel final : public HostObject<IvelBackChannel> {
public:
    static constexpr LONG kEveryTrace = 9;

    explicit DyingBackChannel(Steps& steps) : HostObject(kIvelBackChannelMembers, steps) {}

    STDMETHODIMP get_lTraceLevel(LONG* level) override { return *level = kEveryTrace, S_OK; }
    STDMETHODIMP put_lTraceLevel(LONG) override { return S_OK; }
    STDMETHODIMP Error(LONG, LONG, LONG, LONG, BSTR text1, BSTR, BSTR) override {
        return m_steps.step("Error " + toUtf8(text1));
    }
    STDMETHODIMP Progress(LONG, LONG, LONG, LONG, BSTR, BSTR, BSTR, SHORT, SHORT) override {
        return m_steps.step("Progress");
    }
    STDMETHODIMP Info(LONG, LONG, LONG, LONG, BSTR text1, BSTR, BSTR) override {
        return m_steps.step("Info " + toUtf8(text1));
    }
    STDMETHODIMP Trace(LONG, LONG, LONG, LONG, BSTR text) override {
        return m_steps.step("Trace " + toUtf8(text));
    }
    STDMETHODIMP Data(LONG, LONG, LONG, VARIANT*) override { return m_steps.step("Data"); }
};

#define VEL_PASS_ON(method, parameters, arguments) \
    STDMETHODIMP method parameters override {      \
        m_steps.step("PKI " #method);              \
        return m_pki->method arguments;            \
    }

class DyingPkiExtension final : public HostObject<ISMPrivateKeyInfrastructureEx> {
public:
    DyingPkiExtension(Steps& steps, ISMPrivateKeyInfrastructureEx* pki)
        : HostObject({}, steps), m_pki(pki) {}
    VEL_PASS_ON(ImportRequestedCertificate2, (BSTR file, BSTR reference, BSTR* password, LONG* id),
                (file, reference, password, id))

private:
    ISMPrivateKeyInfrastructureEx* m_pki;
};

class DyingPki final : public HostObject<ISMPrivateKeyInfrastructure> {
public:
    DyingPki(Steps& steps, ISMPrivateKeyInfrastructure* pki, ISMPrivateKeyInfrastructureEx* ex)
        : HostObject(kISMPrivateKeyInfrastructureMembers, steps),
          m_pki(pki),
          m_extension(steps, ex) {}

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
        if (!IsEqualIID(riid, IID_ISMPrivateKeyInfrastructureEx))
            return HostObject::QueryInterface(riid, object);
        *object = static_cast<ISMPrivateKeyInfrastructureEx*>(&m_extension);
        return S_OK;
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
    ISMPrivateKeyInfrastructure* m_pki;
    DyingPkiExtension m_extension;
};
