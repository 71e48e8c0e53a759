// The failures of a request through velTransport, numbered as WinINet numbers them so that a host
// written against the Windows transport reads them alike. Post and Get return them wrapped by
// HRESULT_FROM_WIN32, with an error object that says what happened in plain words.
#pragma once

#include <velcom/com.h>

inline constexpr DWORD ERROR_INTERNET_TIMEOUT = 12002;
// The server answered with an error status (400 and up) and a page without the component's
// markup; the text holds the status line.
inline constexpr DWORD ERROR_INTERNET_EXTENDED_ERROR = 12003;
inline constexpr DWORD ERROR_INTERNET_INTERNAL_ERROR = 12004;
inline constexpr DWORD ERROR_INTERNET_INVALID_URL = 12005;
inline constexpr DWORD ERROR_INTERNET_UNRECOGNIZED_SCHEME = 12006;
inline constexpr DWORD ERROR_INTERNET_NAME_NOT_RESOLVED = 12007;
inline constexpr DWORD ERROR_INTERNET_CANNOT_CONNECT = 12029;
// The connection closed before the whole answer arrived.
inline constexpr DWORD ERROR_INTERNET_CONNECTION_ABORTED = 12030;
inline constexpr DWORD ERROR_INTERNET_CONNECTION_RESET = 12031;
// The client certificate or its key could not be used (a wrong key password among the causes).
inline constexpr DWORD ERROR_INTERNET_CLIENT_AUTH_CERT_NEEDED = 12044;
// The server's certificate is not signed by a trusted authority, or does not name the server.
inline constexpr DWORD ERROR_INTERNET_INVALID_CA = 12045;
// The reply is not HTTP, or its page cannot be read in the character set it declares.
inline constexpr DWORD ERROR_HTTP_INVALID_SERVER_RESPONSE = 12152;
inline constexpr DWORD ERROR_HTTP_REDIRECT_FAILED = 12156;
// The secure connection could not be set up (handshake, protocol version, cipher).
inline constexpr DWORD ERROR_INTERNET_SECURITY_CHANNEL_ERROR = 12157;
// The answer is larger than VELTRANSPORT_MAX_ANSWER allows (WinHTTP's number for an answer
// beyond its own size limit).
inline constexpr DWORD ERROR_HTTP_ANSWER_TOO_LARGE = 12184;
