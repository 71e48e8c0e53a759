// OLE automation functions: BSTR, VARIANT, SAFEARRAY, the error object, code-page conversion and
// system message texts, with Windows semantics.
#pragma once

#include <cstdarg>

#include <velcom/posix/unknwn.h>

using HLOCAL = void*;
using LPCVOID = const void*;

extern "C" {

// A BSTR points at its first character; the byte length sits in the four bytes before it and a
// terminating zero follows the last character. Embedded zeros are allowed, and a null BSTR reads
// as the empty string wherever a length is asked for.
VELCOM_API BSTR SysAllocString(const OLECHAR* text);
VELCOM_API BSTR SysAllocStringLen(const OLECHAR* text, UINT length);
VELCOM_API BSTR SysAllocStringByteLen(LPCSTR bytes, UINT byteLength);
VELCOM_API INT SysReAllocString(BSTR* target, const OLECHAR* text);
VELCOM_API INT SysReAllocStringLen(BSTR* target, const OLECHAR* text, UINT length);
VELCOM_API void SysFreeString(BSTR text);
VELCOM_API UINT SysStringLen(BSTR text);
VELCOM_API UINT SysStringByteLen(BSTR text);

VELCOM_API void VariantInit(VARIANTARG* variant);
VELCOM_API HRESULT VariantClear(VARIANTARG* variant);
VELCOM_API HRESULT VariantCopy(VARIANTARG* destination, const VARIANTARG* source);
VELCOM_API HRESULT VariantCopyInd(VARIANT* destination, const VARIANTARG* source);
// Conversions follow the "C" locale whatever lcid says: decimal point ".", booleans as -1 and 0
// (or "True"/"False" with VARIANT_ALPHABOOL), banker's rounding from floating point to integers.
VELCOM_API HRESULT VariantChangeType(VARIANTARG* destination, const VARIANTARG* source,
                                     USHORT flags, VARTYPE type);
VELCOM_API HRESULT VariantChangeTypeEx(VARIANTARG* destination, const VARIANTARG* source, LCID lcid,
                                       USHORT flags, VARTYPE type);

VELCOM_API SAFEARRAY* SafeArrayCreate(VARTYPE type, UINT dimensions, SAFEARRAYBOUND* bounds);
VELCOM_API SAFEARRAY* SafeArrayCreateVector(VARTYPE type, LONG lowerBound, ULONG elements);
VELCOM_API HRESULT SafeArrayDestroy(SAFEARRAY* array);
VELCOM_API UINT SafeArrayGetDim(SAFEARRAY* array);
VELCOM_API UINT SafeArrayGetElemsize(SAFEARRAY* array);
VELCOM_API HRESULT SafeArrayGetLBound(SAFEARRAY* array, UINT dimension, LONG* lowerBound);
VELCOM_API HRESULT SafeArrayGetUBound(SAFEARRAY* array, UINT dimension, LONG* upperBound);
VELCOM_API HRESULT SafeArrayGetVartype(SAFEARRAY* array, VARTYPE* type);
VELCOM_API HRESULT SafeArrayLock(SAFEARRAY* array);
VELCOM_API HRESULT SafeArrayUnlock(SAFEARRAY* array);
VELCOM_API HRESULT SafeArrayAccessData(SAFEARRAY* array, void** data);
VELCOM_API HRESULT SafeArrayUnaccessData(SAFEARRAY* array);
VELCOM_API HRESULT SafeArrayPtrOfIndex(SAFEARRAY* array, LONG* indices, void** element);
VELCOM_API HRESULT SafeArrayPutElement(SAFEARRAY* array, LONG* indices, void* value);
VELCOM_API HRESULT SafeArrayGetElement(SAFEARRAY* array, LONG* indices, void* value);
VELCOM_API HRESULT SafeArrayCopy(SAFEARRAY* source, SAFEARRAY** copy);

// The error object is kept per thread.
VELCOM_API HRESULT SetErrorInfo(ULONG reserved, IErrorInfo* errorInfo);
VELCOM_API HRESULT GetErrorInfo(ULONG reserved, IErrorInfo** errorInfo);
VELCOM_API HRESULT CreateErrorInfo(ICreateErrorInfo** errorInfo);

// CP_ACP, CP_OEMCP and CP_UTF8 all mean UTF-8 here. Invalid UTF-8 is converted, not rejected:
// each byte that does not start a valid sequence becomes U+FFFD, as Windows does, unless
// MB_ERR_INVALID_CHARS asks for ERROR_NO_UNICODE_TRANSLATION instead. Unpaired surrogates
// become U+FFFD on the way back.
VELCOM_API int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR source, int sourceLength,
                                   LPWSTR target, int targetLength);
VELCOM_API int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR source, int sourceLength,
                                   LPSTR target, int targetLength, LPCSTR defaultChar,
                                   BOOL* usedDefaultChar);

// FORMAT_MESSAGE_FROM_SYSTEM for the standard HRESULTs (E_*, DISP_E_*, CLASS_E_*, CO_E_*,
// REGDB_E_*, TYPE_E_*) and HRESULT_FROM_WIN32 / plain codes of common Win32 errors; texts end
// in "\r\n" as on Windows. Unknown codes fail with ERROR_MR_MID_NOT_FOUND (317).
// FORMAT_MESSAGE_ALLOCATE_BUFFER hands back a buffer to free with LocalFree.
VELCOM_API DWORD FormatMessageA(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId,
                                LPSTR buffer, DWORD size, va_list* arguments);
VELCOM_API HLOCAL LocalFree(HLOCAL memory);
}

constexpr LONG ERROR_MR_MID_NOT_FOUND = 317;
