// The common ground of the test doubles. Texts are narrow UTF-8 strings.
#pragma once

#include <cstring>
#include <map>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include <velcom/com.h>

#include "text/AnsiText.h"

#define VEL_NOT_IMPLEMENTED(method, ...) \
    STDMETHODIMP method(__VA_ARGS__) override { return E_NOTIMPL; }

// VEL_FOR_EACH(MACRO, (a, b), (c), ...) is MACRO(a, b) MACRO(c) ... for up to 64 entries.
#define VEL_FOR_EACH(macro, ...) __VA_OPT__(VEL_EXPAND3(VEL_FOR_EACH_STEP(macro, __VA_ARGS__)))
#define VEL_FOR_EACH_STEP(macro, entry, ...) \
    macro entry __VA_OPT__(VEL_FOR_EACH_AGAIN VEL_PARENS(macro, __VA_ARGS__))
#define VEL_FOR_EACH_AGAIN() VEL_FOR_EACH_STEP
#define VEL_PARENS ()
#define VEL_EXPAND3(...) VEL_EXPAND2(VEL_EXPAND2(VEL_EXPAND2(VEL_EXPAND2(__VA_ARGS__))))
#define VEL_EXPAND2(...) VEL_EXPAND1(VEL_EXPAND1(VEL_EXPAND1(VEL_EXPAND1(__VA_ARGS__))))
#define VEL_EXPAND1(...) __VA_ARGS__

// The component calls its collaborators through their vtables only.
template <class Interface>
class DispatchStub : public Interface {
public:
    VEL_FOR_EACH(VEL_NOT_IMPLEMENTED, (GetTypeInfoCount, UINT*),
                 (GetTypeInfo, UINT, LCID, ITypeInfo**),
                 (GetIDsOfNames, REFIID, LPOLESTR*, UINT, LCID, DISPID*),
                 (Invoke, DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*))
};

// As a failing COM method does, so that the caller's _com_issue_errorex finds the description; an
// empty one clears the thread's error object, so that no stale one is found.
inline HRESULT failWithDescription(HRESULT result, REFIID iid, const std::string& description) {
    velcom::ComPtr<ICreateErrorInfo> created;
    velcom::ComPtr<IErrorInfo> errorInfo;
    if (!description.empty() && SUCCEEDED(CreateErrorInfo(created.put()))) {
        created->SetGUID(iid);
        created->SetDescription(toBstr(description).get());
        created.as(errorInfo);
    }
    SetErrorInfo(0, errorInfo.get());
    return result;
}

// Which methods of a double fail, and how often each was called.
class MethodScript {
public:
    void fail(std::string_view method, HRESULT result, std::string description = {}) {
        m_failures[std::string(method)] = {result, std::move(description)};
    }
    void succeedAll() { m_failures.clear(); }
    unsigned callCount(std::string_view method) const {
        const auto found = m_calls.find(method);
        return found == m_calls.end() ? 0 : found->second;
    }
    HRESULT enter(std::string_view method, REFIID iid) {
        ++m_calls[std::string(method)];
        const auto found = m_failures.find(method);
        return found == m_failures.end()
                   ? S_OK
                   : failWithDescription(found->second.first, iid, found->second.second);
    }

private:
    std::map<std::string, std::pair<HRESULT, std::string>, std::less<>> m_failures;
    std::map<std::string, unsigned, std::less<>> m_calls;
};

// A double on the heap (see make()) with one dual interface.
template <class Interface>
class CountedDouble : public DispatchStub<Interface>,
                      public ISupportErrorInfo,
                      public MethodScript {
public:
    HRESULT queryResult = S_OK;

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
        *object = nullptr;
        if (FAILED(queryResult)) return queryResult;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) ||
            IsEqualIID(riid, velcom::uuidOf<Interface>()))
            *object = static_cast<Interface*>(this);
        else if (IsEqualIID(riid, IID_ISupportErrorInfo))
            *object = static_cast<ISupportErrorInfo*>(this);
        else
            return E_NOINTERFACE;
        return AddRef(), S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_references; }
    STDMETHODIMP_(ULONG) Release() override {
        const ULONG left = --m_references;
        if (left == 0) delete this;
        return left;
    }
    STDMETHODIMP InterfaceSupportsErrorInfo(REFIID riid) override {
        return IsEqualIID(riid, velcom::uuidOf<Interface>()) ? S_OK : S_FALSE;
    }
    ULONG references() const { return m_references; }

protected:
    virtual ~CountedDouble() = default;
    HRESULT enter(std::string_view method) {
        return MethodScript::enter(method, velcom::uuidOf<Interface>());
    }

private:
    ULONG m_references = 0;
};

// Doubles start with no reference; the velcom::ComPtr takes the first.
template <class Double, class... Arguments>
velcom::ComPtr<Double> make(Arguments&&... arguments) {
    return velcom::ComPtr<Double>(new Double(std::forward<Arguments>(arguments)...));
}

template <class Element>
velcom::Variant arrayOf(VARTYPE type, const std::vector<Element>& elements, LONG lowerBound = 0) {
    velcom::Variant value;
    SAFEARRAY* array = SafeArrayCreateVector(type, lowerBound, static_cast<ULONG>(elements.size()));
    if (array == nullptr) throw _com_error(E_OUTOFMEMORY);
    value.put()->vt = static_cast<VARTYPE>(VT_ARRAY | type);
    value.get()->parray = array;
    LONG position = lowerBound;
    for (Element element : elements) {
        if constexpr (std::is_same_v<Element, std::string>)
            SafeArrayPutElement(array, &position, toBstr(element).get());
        else if constexpr (std::is_pointer_v<Element>)
            SafeArrayPutElement(array, &position, element);
        else
            SafeArrayPutElement(array, &position, &element);
        ++position;
    }
    return value;
}

// In one copy, not element by element: the benchmarks count what the doubles spend as the
// component's own time.
inline velcom::Variant makeByteArray(std::string_view bytes) {
    velcom::Variant value;
    SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size()));
    if (array == nullptr) throw _com_error(E_OUTOFMEMORY);
    value.put()->vt = VT_ARRAY | VT_UI1;
    value.get()->parray = array;
    const velcom::SafeArrayData<BYTE> access(array);
    if (!bytes.empty()) std::memcpy(access.data(), bytes.data(), bytes.size());
    return value;
}

inline velcom::Variant makeText(const std::string& text) {
    velcom::Variant value;
    value.put()->vt = VT_BSTR;
    value.get()->bstrVal = toBstr(text).detach();
    return value;
}

inline velcom::Variant makeStringList(const std::vector<std::string>& texts, LONG lowerBound = 0) {
    return arrayOf(VT_BSTR, texts, lowerBound);
}

// A VARIANT argument that carries a list, as the double received it.
struct ListArgument {
    VARTYPE type = VT_EMPTY;
    SCODE error = S_OK;
    bool zeroBasedVector = false;
    std::vector<std::string> items = {};  // of VT_BSTR or VT_I4 only

    bool omitted() const { return type == VT_ERROR && error == DISP_E_PARAMNOTFOUND; }
    bool isList(VARTYPE element) const { return zeroBasedVector && type == (VT_ARRAY | element); }
};

inline ListArgument readListArgument(const VARIANT& value) {
    ListArgument list{value.vt, value.vt == VT_ERROR ? value.scode : S_OK};
    LONG lower = -1, upper = -1;
    if ((value.vt & VT_ARRAY) == 0 || value.parray == nullptr ||
        SafeArrayGetDim(value.parray) != 1 || FAILED(SafeArrayGetLBound(value.parray, 1, &lower)) ||
        FAILED(SafeArrayGetUBound(value.parray, 1, &upper)))
        return list;
    list.zeroBasedVector = lower == 0;
    const auto count = static_cast<std::size_t>(upper - lower + 1);
    // Read in place: the benchmarks count what the doubles spend as the component's own time.
    if (value.vt == (VT_ARRAY | VT_BSTR)) {
        const velcom::SafeArrayData<BSTR> texts(value.parray);
        for (std::size_t k = 0; texts.data() != nullptr && k < count; ++k)
            list.items.push_back(toAnsi(texts.data()[k]));
    } else if (value.vt == (VT_ARRAY | VT_I4)) {
        const velcom::SafeArrayData<LONG> numbers(value.parray);
        for (std::size_t k = 0; numbers.data() != nullptr && k < count; ++k)
            list.items.push_back(std::to_string(numbers.data()[k]));
    }
    return list;
}
