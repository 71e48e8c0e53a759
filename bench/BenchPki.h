// The PKI component as the measure of the component's own work needs it: one request object whose
// SPKAC text has a real one's size and alphabet, and a certificate taken without being read. It
// keeps no record, so that what the thread spends in an application is the proxy's, as far as
// doubles allow.
#pragma once

#include <string>

#include "ApplicationPkiDouble.h"

class BenchRequest final : public CountedDouble<ISMRequest> {
public:
    explicit BenchRequest(std::size_t spkacSize) {
        static constexpr std::string_view kAlphabet =
            "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
        for (std::size_t at = 0; at < spkacSize; ++at)
            m_spkac.push_back(kAlphabet[at % kAlphabet.size()]);
    }
    STDMETHODIMP AsBinaryString(LONG, VARIANT* data) override {
        VariantInit(data);
        SAFEARRAY* bytes = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(m_spkac.size()));
        if (bytes == nullptr) return E_OUTOFMEMORY;
        {
            const velcom::SafeArrayData<char> text(bytes);
            std::copy(m_spkac.begin(), m_spkac.end(), text.data());
        }
        data->vt = VT_ARRAY | VT_UI1;
        data->parray = bytes;
        return S_OK;
    }
    VEL_NOT_IMPLEMENTED(get_Type, RequestType*)

private:
    std::string m_spkac;
};

class BenchPki final : public ApplicationPkiDouble,
                       public DispatchStub<ISMPrivateKeyInfrastructureEx> {
public:
    explicit BenchPki(std::size_t spkacSize) : m_request(make<BenchRequest>(spkacSize)) {}

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
        if (!IsEqualIID(riid, IID_ISMPrivateKeyInfrastructureEx))
            return ApplicationPkiDouble::QueryInterface(riid, object);
        *object = static_cast<ISMPrivateKeyInfrastructureEx*>(this);
        return AddRef(), S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ApplicationPkiDouble::AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return ApplicationPkiDouble::Release(); }

    STDMETHODIMP CreateRequest(RequestType, BSTR, VARIANT, ISMRequest** created) override {
        *created = m_request.get();
        return m_request->AddRef(), S_OK;
    }
    STDMETHODIMP AddRequest(ISMRequest*, BSTR) override { return S_OK; }
    STDMETHODIMP ImportRequestedCertificate2(BSTR, BSTR, BSTR*, LONG* id) override {
        return *id = ++m_lastId, S_OK;
    }

    VEL_FOR_EACH(VEL_NOT_IMPLEMENTED, (GetOpenRequests, VARIANT*),
                 (ImportRequestedCertificate, BSTR, BSTR, LONG*))

private:
    velcom::ComPtr<BenchRequest> m_request;
    LONG m_lastId = 0;
};
