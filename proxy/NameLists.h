// The parameters of an answer that each operation copies into its next request, in the order
// the server expects them. Each list ends with a null entry.
#pragma once

inline constexpr const char* ListRequestStep2[] = {
    "-ident-org_country", "-ident-org_name", "-ident-ku_vname",
    "-ident-ku_nname",    "-ident-TO_ku-nr", "-ident-extn_email",
    "-ident-email_flag",  "-ident_lang",     nullptr};

inline constexpr const char* ListFetchAfterRequest[] = {"-cert_format", "-ident_lang", "USER_NR",
                                                        "SUFFIX_NR",    "EMAIL_ADR",   nullptr};

inline constexpr const char* ListPickUp[] = {"-reference_list", "-abhol_list", "-ident_lang",
                                             nullptr};

inline constexpr const char* ListRevokeSelect[] = {
    "-serial_list", "-ident_lang", "-generator", "-oper_nr",       "-get_list",
    "-ref_nr",      "-sig_name",   "-cert_name", "-cert_forename", "-email_alias",
    "-user_nr",     "-suffix_nr",  nullptr};

inline constexpr const char* ListRevokeConfirm[] = {
    "-serial_nr", "-ident_lang", "-generator", "-oper_nr",       "-get_list",
    "-ref_nr",    "-sig_name",   "-cert_name", "-cert_forename", "-email_alias",
    "-user_nr",   "-suffix_nr",  nullptr};

inline constexpr const char* ListRenewStep2[] = {"-ident_lang",
                                                 "-ident-org_country",
                                                 "-ident-org_name",
                                                 "-ident-extn_email",
                                                 "-ident-email_flag",
                                                 "-ident-org_unit1",
                                                 "-ident-common_name",
                                                 "-ident-ku_vname",
                                                 "-ident-ku_nname",
                                                 "-ident-email",
                                                 nullptr};

inline constexpr const char* ListCheck[] = {"-ident_lang", nullptr};

inline constexpr const char* ListCRL[] = {"-ident_lang", "-crl_format", nullptr};
