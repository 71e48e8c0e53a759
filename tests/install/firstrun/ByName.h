// Calling an automation object by member name, as a script host does: GetIDsOfNames, then
// Invoke with the arguments in reverse order.
#pragma once

#include <initializer_list>
#include <vector>

#include <velcom/com.h>

// Arguments are given in declared order; they stay owned by the caller.
inline HRESULT invokeByName(IDispatch* object, const OLECHAR* name, WORD kind,
                            std::initializer_list<VARIANT> arguments, VARIANT* result) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    DISPID id = DISPID_UNKNOWN;
    if (const HRESULT found = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
        FAILED(found))
        return found;
    std::vector<VARIANT> reversed(arguments.begin(), arguments.end());
    std::vector<VARIANT>(reversed.rbegin(), reversed.rend()).swap(reversed);
    DISPPARAMS parameters{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    return object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, kind, &parameters, result, nullptr,
                          nullptr);
}

inline VARIANT bstrArgument(BSTR text) {
    VARIANT argument;
    VariantInit(&argument);
    argument.vt = VT_BSTR;
    argument.bstrVal = text;
    return argument;
}

inline VARIANT objectArgument(IDispatch* object) {
    VARIANT argument;
    VariantInit(&argument);
    argument.vt = VT_DISPATCH;
    argument.pdispVal = object;
    return argument;
}
