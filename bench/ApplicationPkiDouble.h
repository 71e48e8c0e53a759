// The members of the PKI component that no application of the benchmarks calls.
#pragma once

#include <velPKI/velPKI.h>

#include "support/DispatchStub.h"

class ApplicationPkiDouble : public CountedDouble<ISMPrivateKeyInfrastructure> {
public:
    VEL_FOR_EACH(
        VEL_NOT_IMPLEMENTED, (FindKey, LONG, ISMAsymKey**), (Verify2, LONG, LONG, CertStatus*),
        (Verify, ISMCertificate*, LONG, CertStatus*), (ImportKey, LONG, ISMAsymKey*),
        (ExportPKCS12, BSTR, BSTR, ISMCertificate*, ISMAsymKey*, LONG),
        (Import, ISMCertificateList*, ISMCRLList*),
        (Load, BSTR, ISMCertificateList**, ISMCRLList**),
        (LoadPKCS12, BSTR, BSTR, ISMCertificateList**, ISMKeyList**),
        (Export, BSTR, FileFormat, FileEncoding, ISMCertificateList*),
        (Export2, BSTR, FileFormat, FileEncoding, VARIANT),
        (Find, CertType*, CertStatus*, BSTR*, LONG*, BSTR*, VARIANT*, BSTR*, ISMCertificateList**),
        (GetCertificate, LONG, ISMCertificate**),
        (GetIssuer, ISMCertificate*, LONG, ISMCertificateList**),
        (HasValidCertifiedKey, BSTR, ISMCertificateList**, LONG*),
        (FindValidCerts, VARIANT, VARIANT*, VARIANT*, ISMCertificateList**),
        (AdjustDefaults, ISMCertificateList*), (CreateCertificateList, ISMCertificateList**),
        (Revoke, ISMCertificate*), (ExportKey, BSTR, BSTR, FileFormat, FileEncoding, ISMAsymKey*),
        (Delete, ISMCertificate*), (Delete2, LONG))
};
