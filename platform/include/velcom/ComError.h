// The COM support layer's error exception and the functions that raise it, for both platforms
// (mingw ships the declarations but not the library behind them).
#pragma once

#include <string>

#include <velcom/SystemApi.h>

#include <velcom/export.h>

class VELCOM_API _com_error {
public:
    // Takes over errorInfo's reference, or adds one when addRef is true.
    explicit _com_error(HRESULT result, IErrorInfo* errorInfo = nullptr, bool addRef = false);
    _com_error(const _com_error& other);
    _com_error& operator=(const _com_error& other);
    ~_com_error();

    HRESULT Error() const { return m_result; }
    // The error object with a reference for the caller; null when there is none.
    IErrorInfo* ErrorInfo() const;
    // The dispatch error number of codes 0x80040200 to 0x8004FFFF, else 0.
    WORD WCode() const;
    // The error object's description, empty when there is no error object or no description.
    std::u16string Description() const;
    // The system's message text for the code without its trailing line end; when the system has
    // none, "IDispatch error #<n>" for dispatch error numbers, else "Unknown error 0x<code>".
    std::string ErrorMessage() const;

private:
    HRESULT m_result;
    IErrorInfo* m_errorInfo;
};

[[noreturn]] VELCOM_API void _com_issue_error(HRESULT result);
// Raises with the error object the callee left, when the object says through ISupportErrorInfo
// that the interface supports error information.
[[noreturn]] VELCOM_API void _com_issue_errorex(HRESULT result, IUnknown* object, REFIID riid);
