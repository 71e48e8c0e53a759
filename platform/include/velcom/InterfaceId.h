// The interface identifier of a C++ interface type, so that typed helpers (ComPtr::As, queryAs)
// need no separate IID argument. Declare each interface once with VELCOM_INTERFACE_ID.
#pragma once

#include <velcom/SystemApi.h>

namespace velcom {

template <class Interface>
struct InterfaceId;

template <class Interface>
const IID& uuidOf() {
    return InterfaceId<Interface>::get();
}

}  // namespace velcom

#define VELCOM_INTERFACE_ID(Interface, iid)     \
    template <>                                 \
    struct velcom::InterfaceId<Interface> {     \
        static const IID& get() { return iid; } \
    }

VELCOM_INTERFACE_ID(IUnknown, IID_IUnknown);
VELCOM_INTERFACE_ID(IClassFactory, IID_IClassFactory);
VELCOM_INTERFACE_ID(IDispatch, IID_IDispatch);
VELCOM_INTERFACE_ID(IEnumVARIANT, IID_IEnumVARIANT);
VELCOM_INTERFACE_ID(IErrorInfo, IID_IErrorInfo);
VELCOM_INTERFACE_ID(ICreateErrorInfo, IID_ICreateErrorInfo);
VELCOM_INTERFACE_ID(ISupportErrorInfo, IID_ISupportErrorInfo);
VELCOM_INTERFACE_ID(IRunnableObject, IID_IRunnableObject);
