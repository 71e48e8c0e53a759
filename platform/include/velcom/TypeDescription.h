// The compiled-in description of a type library, from which velcom serves type information where
// the system has none. A contract's generated declarations describe each interface of the library
// and tie it to the library with VELCOM_TYPE_DESCRIPTION; DispatchImpl then answers
// GetTypeInfoCount with 1 for it.
#pragma once

#include <cstddef>
#include <span>

#include <velcom/ParamInfo.h>
#include <velcom/SystemApi.h>

#include <velcom/export.h>

namespace velcom {

inline constexpr WORD kMemberRestricted = 0x1;
inline constexpr WORD kMemberHidden = 0x40;

struct ParamDescription {
    const char16_t* name;
    ParamInfo info;
};

struct MemberDescription {
    const char16_t* name;
    DISPID id;
    WORD kind;   // DISPATCH_METHOD, DISPATCH_PROPERTYGET or DISPATCH_PROPERTYPUT
    WORD flags;  // kMemberRestricted, kMemberHidden
    const char16_t* help;
    std::span<const ParamDescription> params;
};

struct InterfaceDescription {
    const char16_t* name;
    IID iid;
    const char16_t* help;
    std::span<const MemberDescription> members;
};

struct LibraryDescription {
    const char16_t* name;
    GUID libid;
    WORD majorVersion;
    WORD minorVersion;
    LCID lcid;
    const char16_t* help;
    std::span<const InterfaceDescription> interfaces;
};

template <class Interface>
struct TypeDescription;

#ifndef _WIN32
// Type information for the interface iid of the described library, in any locale: the library
// is neutral, as one registered for a single locale is to the system's LoadRegTypeLib. It copies
// what it needs, so it outlives the module that holds the description.
VELCOM_API HRESULT describedTypeInfo(const LibraryDescription& library, REFIID iid,
                                     ITypeInfo** typeInfo);
VELCOM_API HRESULT describedTypeLib(const LibraryDescription& library, ITypeLib** typeLib);
#endif

}  // namespace velcom

#define VELCOM_TYPE_DESCRIPTION(Interface, library)                        \
    template <>                                                            \
    struct velcom::TypeDescription<Interface> {                            \
        static const velcom::LibraryDescription& get() { return library; } \
    }
