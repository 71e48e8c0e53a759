// The PKI class's file methods, whichever system reads and writes the files.
#include "AutomationValues.h"
#include "ErrorBoundary.h"
#include "PkiAutomation.h"
#include "text/AnsiText.h"
#include "velList.h"

STDMETHODIMP PkiAutomation::Load(BSTR strFile, ISMCertificateList** ppCertList,
                                 ISMCRLList** ppCRLList) {
    return errorBoundary(IID_ISMPrivateKeyInfrastructure, "Load", [&] {
        requireOut(ppCertList);
        requireOut(ppCRLList);
        *ppCertList = nullptr;
        *ppCRLList = nullptr;
        const auto certificates = CvelCertificateList::make();
        const auto lists = CvelCRLList::make();
        loadFile(toAnsi(strFile), *certificates.get(), *lists.get());
        *ppCertList = certificates->handOut();
        *ppCRLList = lists->handOut();
    });
}

STDMETHODIMP PkiAutomation::LoadPKCS12(BSTR strFile, BSTR strPass, ISMCertificateList** ppCertList,
                                       ISMKeyList** ppKeyList) {
    return errorBoundary(IID_ISMPrivateKeyInfrastructure, "LoadPKCS12", [&] {
        requireOut(ppCertList);
        requireOut(ppKeyList);
        *ppCertList = nullptr;
        *ppKeyList = nullptr;
        const auto certificates = CvelCertificateList::make();
        const auto keys = CvelKeyList::make();
        loadPkcs12(toAnsi(strFile), toAnsi(strPass), *certificates.get(), *keys.get());
        *ppCertList = certificates->handOut();
        *ppKeyList = keys->handOut();
    });
}

STDMETHODIMP PkiAutomation::Export2(BSTR strFile, FileFormat sFormat, FileEncoding sEncoding,
                                    VARIANT vCertIDs) {
    return errorBoundary(IID_ISMPrivateKeyInfrastructure, "Export2", [&] {
        if (sFormat != SMFormatX509) failWith(E_NOTIMPL, "certificates are exported as X.509");
        const std::vector<std::int64_t> ids = numbersOf(vCertIDs);
        if (ids.empty()) failWith(E_INVALIDARG, "no certificate to export");
        if (sEncoding == SMEncodingDER && ids.size() != 1)
            failWith(E_INVALIDARG, "a DER file holds one certificate");
        std::string bytes;
        for (const std::int64_t id : ids)
            bytes += certificateFileText(id, sEncoding == SMEncodingPEM);
        writeCertificateFile(toAnsi(strFile), bytes);
    });
}

STDMETHODIMP PkiAutomation::ExportKey(BSTR strFile, BSTR strPass, FileFormat sFormat,
                                      FileEncoding sEncoding, ISMAsymKey* pKey) {
    return errorBoundary(IID_ISMPrivateKeyInfrastructure, "ExportKey", [&] {
        if ((sFormat != SMFormatRawKey && sFormat != SMFormatPKCS8) || sEncoding != SMEncodingPEM)
            failWith(E_NOTIMPL, "keys are exported as PKCS#8 in PEM");
        const std::string password = toAnsi(strPass);
        if (password.empty() && sFormat != SMFormatPKCS8)
            failWith(E_INVALIDARG, "a key is written in the clear only as PKCS#8");
        writeKeyFile(toAnsi(strFile), pKey, password);
    });
}

STDMETHODIMP PkiAutomation::Import(ISMCertificateList* pCertList, ISMCRLList* pCRLList) {
    return errorBoundary(IID_ISMPrivateKeyInfrastructure, "Import",
                         [&] { importAll(pCertList, pCRLList); });
}

STDMETHODIMP PkiAutomation::ExportPKCS12(BSTR strFile, BSTR strPass, ISMCertificate* pCertificate,
                                         ISMAsymKey* pKey, LONG bWithChain) {
    return errorBoundary(IID_ISMPrivateKeyInfrastructure, "ExportPKCS12", [&] {
        writePkcs12(toAnsi(strFile), toAnsi(strPass), pCertificate, pKey, bWithChain != 0);
    });
}
