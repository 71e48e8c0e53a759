// Token codes of the answer markup. Keyword codes are single bits, so that a node can keep the
// set of keys it has taken as a bit mask.
#pragma once

#include <cstddef>

inline constexpr int TokNewLine = 0x0;
inline constexpr int TokEquals = 0x1;
inline constexpr int TokReturn = 0x2;
inline constexpr int TokStatus = 0x4;
inline constexpr int TokErrorMessage = 0x8;
inline constexpr int TokAction = 0x10;
inline constexpr int TokURL = 0x20;
inline constexpr int TokMethod = 0x40;
inline constexpr int TokType = 0x80;
inline constexpr int TokParam = 0x100;
inline constexpr int TokValue = 0x200;
inline constexpr int TokAcceptDTRoot = 0x400;
inline constexpr int TokCreateCertificate = 0x800;
inline constexpr int TokPickUpCertificate = 0x1000;
inline constexpr int TokRenewCertificate = 0x2000;
inline constexpr int TokRevokeCertificate = 0x4000;
inline constexpr int TokReonholdCertificate = 0x8000;
inline constexpr int TokCheckCertificate = 0x10000;
inline constexpr int TokLDAPSearch = 0x20000;
inline constexpr int TokCRLDownload = 0x40000;
inline constexpr int TokWord = 0x80000;
inline constexpr int TokText = 0x100000;
inline constexpr int TokEnd = 0x200000;

// A row of the keyword table: a text matches when its first `length` characters equal the row's,
// ignoring case. The numbered keys (Type1, Param2 …) match because only their stem is compared.
struct KeywordEntry {
    const char* text;
    std::size_t length;
    int code;
};

inline constexpr KeywordEntry kKeywords[] = {
    {"\n", 1, TokNewLine},
    {"=", 1, TokEquals},
    {"Return", 6, TokReturn},
    {"Status", 6, TokStatus},
    {"ErrorMessage", 12, TokErrorMessage},
    {"Action", 6, TokAction},
    {"URL", 3, TokURL},
    {"Method", 6, TokMethod},
    {"TypeX", 4, TokType},
    {"ParamX", 5, TokParam},
    {"ValueX", 5, TokValue},
    {"AcceptDTRoot", 12, TokAcceptDTRoot},
    {"CreateCertficate", 16, TokCreateCertificate},
    {"PickUpCertificate", 17, TokPickUpCertificate},
    {"RenewCertificate", 16, TokRenewCertificate},
    {"RevokeCertificate", 17, TokRevokeCertificate},
    {"ReonholdCertificate", 19, TokReonholdCertificate},
    {"CheckCertificate", 16, TokCheckCertificate},
    {"LDAPSearch", 10, TokLDAPSearch},
    {"CRLDownload", 11, TokCRLDownload},
};
