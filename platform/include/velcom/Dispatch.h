// IDispatch for a dual interface, served from a table of its members that the class declares once,
// next to its methods:
//
//     static constexpr velcom::DispatchMember kMembers[] = {
//         velcom::member<&IvelNode::get_Name, velcom::retval(VT_BSTR)>(
//             u"Name", 1, DISPATCH_PROPERTYGET),
//         velcom::member<&IvelNode::Item, velcom::in(VT_VARIANT), velcom::retval(VT_DISPATCH)>(
//             u"Item", 0, DISPATCH_METHOD),
//     };
//     class CvelNode : public velcom::DispatchImpl<IvelNode> { ... : DispatchImpl(kMembers) ... };
//
// Each parameter's automation type is stated in the table and checked against the C++ signature
// when the table is compiled, so the table cannot drift from the methods it calls.
//
// Invoke follows the system's dispatch: arguments arrive in reverse order; by-value arguments
// are converted with VariantChangeType; an omitted optional VARIANT arrives as VT_ERROR with
// DISP_E_PARAMNOTFOUND, any other omitted optional parameter (an interface, or a reference
// described as VT_BYREF | type) as a null pointer; [out] arguments and [in] references must be
// references of their type ([out] ones may be references to a VARIANT, which receive the value);
// the [out, retval] value goes into the result VARIANT. Enumerations count as VT_I4. A
// failed conversion returns its error (DISP_E_TYPEMISMATCH, DISP_E_OVERFLOW …) with the index
// of the argument in rgvarg; a method that fails makes Invoke return DISP_E_EXCEPTION with the
// method's HRESULT and the thread's error object in the EXCEPINFO. Named arguments other than
// the value of a property put are refused with DISP_E_NONAMEDARGS.
//
// The table serves GetIDsOfNames too: exact names first, then ignoring case. Type information:
// on Windows, once a module has installed a lookup for it (setTypeInfoLookup), GetTypeInfoCount
// answers 1 and GetTypeInfo asks the lookup for the interface's type information; elsewhere an
// interface with a compiled-in description (VELCOM_TYPE_DESCRIPTION) answers from that.
// Otherwise GetTypeInfoCount answers 0.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <type_traits>

#include <velcom/InterfaceId.h>
#include <velcom/ParamInfo.h>
#include <velcom/SystemApi.h>
#include <velcom/TypeDescription.h>

#include <velcom/export.h>

namespace velcom {

// Calls the method with arguments already converted to their declared types, in declared order;
// [out] arguments are VT_BYREF references to storage of their type.
using MemberCall = HRESULT (*)(void* object, VARIANT* arguments);

struct DispatchMember {
    const char16_t* name;
    DISPID id;
    WORD kind;  // DISPATCH_METHOD, DISPATCH_PROPERTYGET or DISPATCH_PROPERTYPUT
    const ParamInfo* params;
    std::size_t paramCount;
    MemberCall call;
};

namespace detail {

template <class T>
constexpr bool isInterfacePointer() {
    if constexpr (std::is_pointer_v<T>)
        return std::is_base_of_v<IUnknown, std::remove_pointer_t<T>>;
    else
        return false;
}

// Whether a value of C++ type Storage can hold the automation type.
template <class Storage>
constexpr bool holds(VARTYPE type) {
    if constexpr (std::is_same_v<Storage, BSTR>)
        return type == VT_BSTR;
    else if constexpr (std::is_same_v<Storage, SAFEARRAY*>)
        return (type & VT_ARRAY) != 0;
    else if constexpr (isInterfacePointer<Storage>())
        return type == VT_UNKNOWN || (type == VT_DISPATCH &&
                                      std::is_base_of_v<IDispatch, std::remove_pointer_t<Storage>>);
    else if constexpr (std::is_same_v<Storage, VARIANT>)
        return type == VT_VARIANT;
    else if constexpr (std::is_same_v<Storage, LONG>)
        return type == VT_I4;
    else if constexpr (std::is_enum_v<Storage>)
        return type == VT_I4 && std::is_same_v<std::underlying_type_t<Storage>, LONG>;
    else if constexpr (std::is_same_v<Storage, SHORT>)
        return type == VT_I2 || type == VT_BOOL;
    else if constexpr (std::is_same_v<Storage, BYTE>)
        return type == VT_UI1;
    else if constexpr (std::is_same_v<Storage, DOUBLE>)
        return type == VT_R8 || type == VT_DATE;
    else if constexpr (std::is_same_v<Storage, FLOAT>)
        return type == VT_R4;
    else
        return false;
}

template <class Argument>
constexpr bool matches(ParamInfo param) {
    if ((param.flags & kParamOut) != 0) {
        if constexpr (std::is_pointer_v<Argument>)
            return holds<std::remove_pointer_t<Argument>>(param.type);
        else
            return false;
    }
    if ((param.type & VT_BYREF) != 0) {
        if constexpr (std::is_pointer_v<Argument>)
            return (param.flags & kParamOptional) != 0 &&
                   holds<std::remove_pointer_t<Argument>>(param.type & ~VT_BYREF);
        else
            return false;
    }
    if ((param.flags & kParamOptional) != 0 && param.type != VT_VARIANT &&
        !isInterfacePointer<Argument>())
        return false;
    // The interface test comes first: sanitizer builds of GCC cannot fold the address test in
    // a constant expression.
    if (!isInterfacePointer<Argument>() && param.iid != nullptr) return false;
    return holds<Argument>(param.type) ||
           (std::is_same_v<Argument, VARIANT*> && param.type == VT_VARIANT);
}

template <class Argument>
Argument argumentAs(VARIANT& value) {
    if constexpr (std::is_same_v<Argument, BSTR>)
        return value.bstrVal;
    else if constexpr (std::is_same_v<Argument, SAFEARRAY*>)
        return value.parray;
    else if constexpr (isInterfacePointer<Argument>())
        return reinterpret_cast<Argument>(value.punkVal);
    else if constexpr (std::is_same_v<Argument, VARIANT*>)
        return value.vt == (VT_BYREF | VT_VARIANT) ? value.pvarVal : &value;
    else if constexpr (std::is_pointer_v<Argument>)
        return static_cast<Argument>(value.byref);
    else if constexpr (std::is_same_v<Argument, VARIANT>)
        return value.vt == (VT_BYREF | VT_VARIANT) ? *value.pvarVal : value;
    else if constexpr (std::is_same_v<Argument, LONG>)
        return value.lVal;
    else if constexpr (std::is_enum_v<Argument>)
        return static_cast<Argument>(value.lVal);
    else if constexpr (std::is_same_v<Argument, SHORT>)
        return value.iVal;
    else if constexpr (std::is_same_v<Argument, BYTE>)
        return value.bVal;
    else if constexpr (std::is_same_v<Argument, DOUBLE>)
        return value.dblVal;
    else
        return value.fltVal;
}

template <class Method>
struct MethodTraits;

template <class Class, class... Arguments>
struct MethodTraits<HRESULT (STDMETHODCALLTYPE Class::*)(Arguments...)> {
    using Object = Class;
    static constexpr std::size_t arity = sizeof...(Arguments);

    template <ParamInfo... Params>
    static constexpr bool check() {
        return (matches<Arguments>(Params) && ...);
    }

    template <auto Method, std::size_t... Index>
    static HRESULT call(void* object, VARIANT* arguments, std::index_sequence<Index...>) {
        return (static_cast<Class*>(object)->*Method)(argumentAs<Arguments>(arguments[Index])...);
    }
};

template <auto Method, ParamInfo... Params>
struct Binding {
    using Traits = MethodTraits<decltype(Method)>;
    static_assert(Traits::arity == sizeof...(Params),
                  "the member table must describe every parameter of the method");
    static_assert(Traits::template check<Params...>(),
                  "a parameter's automation type does not fit its C++ type");
    static constexpr ParamInfo params[sizeof...(Params) == 0 ? 1 : sizeof...(Params)] = {Params...};

    static HRESULT call(void* object, VARIANT* arguments) {
        return Traits::template call<Method>(object, arguments,
                                             std::make_index_sequence<sizeof...(Params)>());
    }
};

}  // namespace detail

template <auto Method, ParamInfo... Params>
constexpr DispatchMember member(const char16_t* name, DISPID id, WORD kind) {
    using Binding = detail::Binding<Method, Params...>;
    return {name, id, kind, Binding::params, sizeof...(Params), &Binding::call};
}

// The table-driven dispatch; object is the interface pointer the member calls expect.
class VELCOM_API DispatchTable {
public:
    explicit DispatchTable(std::span<const DispatchMember> members) : m_members(members) {}

    HRESULT getIDsOfNames(LPOLESTR* names, UINT count, DISPID* ids) const;
    HRESULT invoke(void* object, DISPID id, REFIID riid, WORD flags, DISPPARAMS* params,
                   VARIANT* result, EXCEPINFO* exception, UINT* argumentError) const;

    std::span<const DispatchMember> members() const { return m_members; }

private:
    const DispatchMember* find(DISPID id, WORD flags) const;

    std::span<const DispatchMember> m_members;
};

#ifdef _WIN32
// The type information of an interface, in the caller's locale. velcom is linked into each module
// on Windows, so every module installs its own lookup, typically at process attach.
using TypeInfoLookup = HRESULT (*)(REFIID iid, LCID lcid, ITypeInfo** typeInfo);
void setTypeInfoLookup(TypeInfoLookup lookup);
TypeInfoLookup typeInfoLookup();
#endif

// IDispatch of a dual interface, served from its member table.
template <class Interface>
class DispatchImpl : public Interface {
public:
    explicit DispatchImpl(std::span<const DispatchMember> members) : m_table(members) {}

    STDMETHODIMP GetTypeInfoCount(UINT* count) override {
        if (count == nullptr) return E_INVALIDARG;
        *count = hasTypeInfo() ? 1 : 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT index, LCID lcid, ITypeInfo** typeInfo) override {
        if (typeInfo == nullptr) return E_INVALIDARG;
        *typeInfo = nullptr;
#ifdef _WIN32
        if constexpr (hasInterfaceId) {
            const TypeInfoLookup lookup = typeInfoLookup();
            if (index == 0 && lookup != nullptr) return lookup(uuidOf<Interface>(), lcid, typeInfo);
        }
#else
        if constexpr (hasDescription)
            if (index == 0)
                return describedTypeInfo(TypeDescription<Interface>::get(), uuidOf<Interface>(),
                                         typeInfo);
#endif
        static_cast<void>(index), static_cast<void>(lcid);
        return DISP_E_BADINDEX;
    }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        return m_table.getIDsOfNames(names, count, ids);
    }
    STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params,
                        VARIANT* result, EXCEPINFO* exception, UINT* argumentError) override {
        return m_table.invoke(static_cast<Interface*>(this), id, riid, flags, params, result,
                              exception, argumentError);
    }

protected:
    const DispatchTable& dispatchTable() const { return m_table; }

private:
    // Interfaces declared with VELCOM_INTERFACE_ID can be looked up; others have no type
    // information.
    static constexpr bool hasInterfaceId = requires { InterfaceId<Interface>::get(); };
    static constexpr bool hasDescription = requires { TypeDescription<Interface>::get(); };

    static bool hasTypeInfo() {
#ifdef _WIN32
        return hasInterfaceId && typeInfoLookup() != nullptr;
#else
        return hasDescription;
#endif
    }

    DispatchTable m_table;
};

}  // namespace velcom
