// Objects a host hands to an operation are asked for the interface the operation needs: a host
// may pass any object, and one that lacks the interface fails where it is first needed.
#pragma once

#include <velcom/com.h>

// The interface of the argument, or null when the object does not offer it; any other failure of
// the query is raised.
template <class Interface>
velcom::ComPtr<Interface> queryArgument(IUnknown* argument) {
    velcom::ComPtr<Interface> queried;
    const HRESULT result = argument->QueryInterface(velcom::uuidOf<Interface>(), queried.putVoid());
    if (result == E_NOINTERFACE) return nullptr;
    if (FAILED(result)) _com_issue_error(result);
    return queried;
}

// The argument at its use; a missing one raises E_POINTER.
template <class Interface>
Interface& required(Interface* argument) {
    if (argument == nullptr) _com_issue_error(E_POINTER);
    return *argument;
}
