// Every member of the contract's enumerations with the value the contract gives it, written down
// by hand. The C++ constant beside it is what the generated header says.
#pragma once

#include <velTesseraComm/velTesseraComm.h>

struct EnumerationMember {
    const char16_t* enumeration;
    const char16_t* name;
    LONG declared;  // the generated C++ constant
    LONG expected;  // the contract's value
};

inline constexpr EnumerationMember kEnumerationMembers[] = {
    {u"NodeType", u"TesseraNTReturn", TesseraNTReturn, 0},
    {u"NodeType", u"TesseraNTParam", TesseraNTParam, 1},
    {u"KeyType", u"SMRSAKey", SMRSAKey, 0},
    {u"KeyType", u"SMDSAKey", SMDSAKey, 1},
    {u"CertStatus", u"SMStatusInActive", SMStatusInActive, 0},
    {u"CertStatus", u"SMStatusActive", SMStatusActive, 1},
    {u"CertStatus", u"SMStatusExpired", SMStatusExpired, 2},
    {u"CertStatus", u"SMStatusRevoked", SMStatusRevoked, 3},
    {u"CertStatus", u"SMStatusHold", SMStatusHold, 4},
    {u"CertStatus", u"SMStatusNotTrusted", SMStatusNotTrusted, 5},
    {u"CertStatus", u"SMStatusUntrustedCA", SMStatusUntrustedCA, 6},
    {u"CertStatus", u"SMStatusUnknownCA", SMStatusUnknownCA, 7},
    {u"CertStatus", u"SMStatusUnknown", SMStatusUnknown, 8},
    {u"CertStatus", u"SMStatusCorrupt", SMStatusCorrupt, 9},
    {u"CertStatus", u"SMStatusInvalid", SMStatusInvalid, 10},
    {u"CertStatus", u"SMStatusAll", SMStatusAll, 11},
    {u"DigestAlgo", u"SMDigestAlgoMD5", SMDigestAlgoMD5, 8},
    {u"DigestAlgo", u"SMDigestAlgoSHA1", SMDigestAlgoSHA1, 9},
    {u"Validity", u"SMValExpired", SMValExpired, -1},
    {u"Validity", u"SMValValid", SMValValid, 0},
    {u"Validity", u"SMValNotYet", SMValNotYet, 1},
    {u"CertTrustLevel", u"SMTrustInherit", SMTrustInherit, 0},
    {u"CertTrustLevel", u"SMTrustTrust", SMTrustTrust, 1},
    {u"CertTrustLevel", u"SMTrustUntrust", SMTrustUntrust, 2},
    {u"DataBaseState", u"SMDBStateNew", SMDBStateNew, 0},
    {u"DataBaseState", u"SMDNStateOld", SMDNStateOld, 1},
    {u"DataBaseState", u"SMDBStateAdded", SMDBStateAdded, 2},
    {u"FileFormat", u"SMFormatPKCS7", SMFormatPKCS7, 0},
    {u"FileFormat", u"SMFormatPKCS8", SMFormatPKCS8, 1},
    {u"FileFormat", u"SMFormatPKCS12", SMFormatPKCS12, 2},
    {u"FileFormat", u"SMFormatX509", SMFormatX509, 3},
    {u"FileFormat", u"SMFormatNSCertSeq", SMFormatNSCertSeq, 4},
    {u"FileFormat", u"SMFormatRawKey", SMFormatRawKey, 5},
    {u"FileEncoding", u"SMEncodingDER", SMEncodingDER, 0},
    {u"FileEncoding", u"SMEncodingPEM", SMEncodingPEM, 1},
    {u"CertType", u"SMTypeAll", SMTypeAll, 0},
    {u"CertType", u"SMTypeOwn", SMTypeOwn, 1},
    {u"CertType", u"SMTypeOther", SMTypeOther, 2},
    {u"CertType", u"SMTypeCA", SMTypeCA, 3},
    {u"RequestType", u"SMRequestSPKAC", SMRequestSPKAC, 0},
    {u"RequestType", u"SMRequestPKCS10", SMRequestPKCS10, 1},
};
