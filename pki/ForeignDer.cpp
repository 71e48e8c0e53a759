#include "ForeignDer.h"

#include "AutomationValues.h"
#include "Base64.h"
#include "PkiFailure.h"

namespace {

template <class Object>
std::string base64Der(Object* object, const char* failure) {
    velcom::Variant text;
    const HRESULT read = object->AsBinaryString(1, text.put());
    if (FAILED(read)) failWith(read, failure);
    return fromBase64(bytesOf(*text.get()));
}

}  // namespace

std::string foreignDer(ISMCertificate* certificate) {
    return base64Der(certificate, "the certificate does not give its Base64 text");
}

std::string foreignDer(ISMRevocationList* list) {
    return base64Der(list, "the revocation list does not give its Base64 text");
}
