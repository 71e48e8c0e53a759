#include <velcom/Dispatch.h>

#include <cstring>
#include <new>
#include <optional>
#include <vector>

namespace velcom {

namespace {

char16_t upper(char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c; }

bool sameName(const char16_t* a, const OLECHAR* b, bool ignoreCase) {
    for (;; ++a, ++b) {
        const char16_t left = *a;
        const auto right = static_cast<char16_t>(*b);
        if (ignoreCase ? upper(left) != upper(right) : left != right) return false;
        if (left == 0) return true;
    }
}

bool isOmitted(const VARIANT& argument) {
    return argument.vt == VT_ERROR && argument.scode == DISP_E_PARAMNOTFOUND;
}

// One call's arguments: what the method receives, and the storage its [out] arguments point to.
class CallFrame {
public:
    explicit CallFrame(std::size_t count) : m_arguments(count), m_storage(count) {
        for (std::size_t i = 0; i < count; ++i) {
            VariantInit(&m_arguments[i]);
            VariantInit(&m_storage[i]);
        }
    }
    ~CallFrame() {
        // Converted by-value arguments are owned here; [out] values are owned once written back.
        for (std::size_t i = 0; i < m_arguments.size(); ++i) {
            if ((m_arguments[i].vt & VT_BYREF) == 0) VariantClear(&m_arguments[i]);
            VariantClear(&m_storage[i]);
        }
    }
    CallFrame(const CallFrame&) = delete;
    CallFrame& operator=(const CallFrame&) = delete;

    VARIANT* arguments() { return m_arguments.data(); }
    VARIANT& argument(std::size_t i) { return m_arguments[i]; }

    // Points argument i at fresh storage of the given type.
    void bindStorage(std::size_t i, VARTYPE type) {
        std::memset(&m_storage[i], 0, sizeof(VARIANT));
        m_storage[i].vt = type == VT_VARIANT ? VARTYPE{VT_EMPTY} : type;
        m_arguments[i].vt = static_cast<VARTYPE>(VT_BYREF | type);
        m_arguments[i].byref = type == VT_VARIANT ? static_cast<void*>(&m_storage[i])
                                                  : static_cast<void*>(&m_storage[i].llVal);
    }

    // Hands the value in argument i's storage over to target.
    void moveStorageTo(std::size_t i, VARIANT& target) {
        VariantClear(&target);
        target = m_storage[i];
        VariantInit(&m_storage[i]);
    }

private:
    std::vector<VARIANT> m_arguments;
    std::vector<VARIANT> m_storage;
};

// An omitted optional VARIANT arrives as the automation rules say; any other omitted optional
// parameter is a pointer, and stays null.
void markOmitted(const ParamInfo& param, VARIANT& argument) {
    if (param.type != VT_VARIANT) return;
    argument.vt = VT_ERROR;
    argument.scode = DISP_E_PARAMNOTFOUND;
}

HRESULT prepareInput(const ParamInfo& param, VARIANT& source, VARIANT& argument) {
    if (param.type == VT_VARIANT) {
        // A VARIANT parameter takes the argument as given, one reference to a VARIANT removed.
        argument.vt = static_cast<VARTYPE>(VT_BYREF | VT_VARIANT);
        argument.pvarVal = source.vt == (VT_BYREF | VT_VARIANT) ? source.pvarVal : &source;
        return S_OK;
    }
    HRESULT result = VariantChangeType(&argument, &source, 0, param.type);
    if (FAILED(result) || param.iid == nullptr || argument.punkVal == nullptr) return result;
    IUnknown* object = nullptr;
    result = argument.punkVal->QueryInterface(*param.iid, reinterpret_cast<void**>(&object));
    VariantClear(&argument);
    if (FAILED(result)) return DISP_E_TYPEMISMATCH;
    argument.vt = VT_UNKNOWN;
    argument.punkVal = object;
    return S_OK;
}

void fillException(EXCEPINFO* exception, HRESULT failure) {
    if (exception == nullptr) return;
    std::memset(exception, 0, sizeof *exception);
    exception->scode = failure;
    IErrorInfo* errorInfo = nullptr;
    if (GetErrorInfo(0, &errorInfo) == S_OK && errorInfo != nullptr) {
        errorInfo->GetSource(&exception->bstrSource);
        errorInfo->GetDescription(&exception->bstrDescription);
        errorInfo->GetHelpFile(&exception->bstrHelpFile);
        errorInfo->GetHelpContext(&exception->dwHelpContext);
        errorInfo->Release();
    }
}

}  // namespace

const DispatchMember* DispatchTable::find(DISPID id, WORD flags) const {
    const bool put = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
    // Script engines ask for a collection's enumerator as a method (Wine's JScript Enumerator
    // asks for nothing else), though collections declare it a property.
    if (id == DISPID_NEWENUM && (flags & DISPATCH_METHOD) != 0) flags |= DISPATCH_PROPERTYGET;
    for (const DispatchMember& member : m_members) {
        if (member.id != id) continue;
        if (put ? member.kind == DISPATCH_PROPERTYPUT : (member.kind & flags) != 0) return &member;
    }
    return nullptr;
}

HRESULT DispatchTable::getIDsOfNames(LPOLESTR* names, UINT count, DISPID* ids) const {
    if (names == nullptr || ids == nullptr || count == 0) return E_INVALIDARG;
    for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
    if (names[0] == nullptr) return E_INVALIDARG;
    for (const bool ignoreCase : {false, true})
        for (const DispatchMember& member : m_members)
            if (sameName(member.name, names[0], ignoreCase)) {
                ids[0] = member.id;
                // Parameter names are not described, so named arguments cannot be resolved.
                return count == 1 ? S_OK : DISP_E_UNKNOWNNAME;
            }
    return DISP_E_UNKNOWNNAME;
}

HRESULT DispatchTable::invoke(void* object, DISPID id, REFIID riid, WORD flags, DISPPARAMS* params,
                              VARIANT* result, EXCEPINFO* exception, UINT* argumentError) const {
    if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    if (params == nullptr || (params->cArgs > 0 && params->rgvarg == nullptr)) return E_INVALIDARG;
    const DispatchMember* member = find(id, flags);
    if (member == nullptr) return DISP_E_MEMBERNOTFOUND;
    const bool put = member->kind == DISPATCH_PROPERTYPUT;
    if (params->cNamedArgs > (put ? 1u : 0u) ||
        (params->cNamedArgs == 1 && params->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT))
        return DISP_E_NONAMEDARGS;

    std::size_t accepted = 0;
    std::size_t required = 0;
    for (std::size_t i = 0; i < member->paramCount; ++i) {
        const std::uint8_t paramFlags = member->params[i].flags;
        if ((paramFlags & kParamRetval) != 0) continue;
        ++accepted;
        if ((paramFlags & kParamOptional) == 0) required = accepted;
    }
    const UINT given = params->cArgs;
    if (given > accepted || given < required) return DISP_E_BADPARAMCOUNT;

    if (result != nullptr) VariantInit(result);
    // The frame is the call's one allocation; nothing may escape to the caller if it fails.
    std::optional<CallFrame> frame;
    try {
        frame.emplace(member->paramCount);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    for (std::size_t i = 0; i < member->paramCount; ++i) {
        const ParamInfo& param = member->params[i];
        if ((param.flags & kParamRetval) != 0) {
            frame->bindStorage(i, param.type);
            continue;
        }
        if (i >= given) {
            markOmitted(param, frame->argument(i));
            continue;
        }
        const UINT position = given - 1 - static_cast<UINT>(i);
        VARIANT& source = params->rgvarg[position];
        HRESULT prepared = S_OK;
        if ((param.flags & kParamOut) != 0) {
            const bool exact = source.vt == (VT_BYREF | param.type) && source.byref != nullptr;
            const bool intoVariant =
                source.vt == (VT_BYREF | VT_VARIANT) && source.pvarVal != nullptr;
            if (exact)
                frame->argument(i) = source;
            else if (intoVariant)
                frame->bindStorage(i, param.type);
            else
                prepared = DISP_E_TYPEMISMATCH;
        } else if (isOmitted(source)) {
            if ((param.flags & kParamOptional) == 0) prepared = DISP_E_PARAMNOTFOUND;
            markOmitted(param, frame->argument(i));
        } else if ((param.type & VT_BYREF) != 0) {
            // The method works on the caller's own storage, so it must be of the declared type.
            if (source.vt == param.type && source.byref != nullptr)
                frame->argument(i) = source;
            else
                prepared = DISP_E_TYPEMISMATCH;
        } else {
            prepared = prepareInput(param, source, frame->argument(i));
        }
        if (FAILED(prepared)) {
            if (argumentError != nullptr) *argumentError = position;
            return prepared;
        }
    }

    const HRESULT called = member->call(object, frame->arguments());
    if (FAILED(called)) {
        fillException(exception, called);
        return DISP_E_EXCEPTION;
    }
    for (std::size_t i = 0; i < member->paramCount; ++i) {
        const ParamInfo& param = member->params[i];
        if ((param.flags & kParamRetval) != 0) {
            if (result != nullptr) frame->moveStorageTo(i, *result);
        } else if ((param.flags & kParamOut) != 0 && i < given) {
            VARIANT& source = params->rgvarg[given - 1 - i];
            if (source.vt == (VT_BYREF | VT_VARIANT) && param.type != VT_VARIANT)
                frame->moveStorageTo(i, *source.pvarVal);
        }
    }
    return S_OK;
}

}  // namespace velcom
