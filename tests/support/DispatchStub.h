// The common ground of the test doubles: IDispatch that no test goes through, reference counting
// for doubles on the heap, methods scripted to fail with error information, and the automation
// values that the doubles hand to the component and take apart.
//
// All texts that tests give to or read from the doubles are narrow UTF-8 strings.
#pragma once

#include <cstring>
#include <initializer_list>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <velcom/com.h>

#include "text/AnsiText.h"

// The four IDispatch methods, answered with E_NOTIMPL: the component calls its collaborators
// through their vtables only.
template <class Interface>
class DispatchStub : public Interface {
public:
    STDMETHODIMP GetTypeInfoCount(UINT* count) override {
        if (count != nullptr) *count = 0;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** typeInfo) override {
        if (typeInfo != nullptr) *typeInfo = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                        UINT*) override {
        return E_NOTIMPL;
    }
};

// Leaves an error object with the description on the thread, as a failing COM method does, so
// that the caller's _com_issue_errorex finds it; an empty description clears the thread's error
// object instead, so that no stale one is found. Returns result.
inline HRESULT failWithDescription(HRESULT result, REFIID iid, const std::string& description) {
    if (description.empty()) {
        SetErrorInfo(0, nullptr);
        return result;
    }
    velcom::ComPtr<ICreateErrorInfo> created;
    if (FAILED(CreateErrorInfo(created.put()))) return result;
    velcom::Bstr text = toBstr(description);
    created->SetGUID(iid);
    created->SetDescription(text.get());
    velcom::ComPtr<IErrorInfo> errorInfo;
    if (SUCCEEDED(created.as(errorInfo))) SetErrorInfo(0, errorInfo.get());
    return result;
}

// Which methods of a double fail, and how often each was called.
class MethodScript {
public:
    // The methods that a test may script; naming any other is a mistake in the test and throws
    // std::invalid_argument.
    explicit MethodScript(std::initializer_list<std::string_view> methods) {
        for (const std::string_view method : methods) m_entries.emplace(method, Entry{});
    }

    // After `after` more calls that still work, every call of the method returns result
    // instead of doing its work; a failure code comes with the description as error
    // information. Any result but S_OK counts, so a success code such as S_FALSE can be
    // scripted too.
    void fail(std::string_view method, HRESULT result, std::string description = {},
              unsigned after = 0) {
        Entry& scripted = entry(method);
        scripted.result = result;
        scripted.description = std::move(description);
        scripted.firstScripted = scripted.calls + after + 1;
    }
    // The method succeeds again.
    void succeed(std::string_view method) { entry(method).result = S_OK; }
    unsigned callCount(std::string_view method) const {
        const auto found = m_entries.find(method);
        if (found == m_entries.end()) throw std::invalid_argument(unknown(method));
        return found->second.calls;
    }

    // Counts one call and returns S_OK when it is to work, else the scripted result (with the
    // error object set for a failure).
    HRESULT enter(std::string_view method, REFIID iid) {
        Entry& scripted = entry(method);
        ++scripted.calls;
        if (scripted.result == S_OK || scripted.calls < scripted.firstScripted) return S_OK;
        if (SUCCEEDED(scripted.result)) return scripted.result;
        return failWithDescription(scripted.result, iid, scripted.description);
    }

private:
    struct Entry {
        unsigned calls = 0;
        HRESULT result = S_OK;
        std::string description;
        unsigned firstScripted = 0;  // the number of the first call that gives result
    };

    static std::string unknown(std::string_view method) {
        return "the double has no scriptable method " + std::string(method);
    }
    Entry& entry(std::string_view method) {
        const auto found = m_entries.find(method);
        if (found == m_entries.end()) throw std::invalid_argument(unknown(method));
        return found->second;
    }

    std::map<std::string, Entry, std::less<>> m_entries;
};

// A double on the heap with one dual interface, whose failures carry error information (it
// answers ISupportErrorInfo for its interface). It starts with no reference: create it as
// velcom::ComPtr<Double>(new Double(...)), which takes the first one, and it deletes itself on
// its last Release.
template <class Interface>
class CountedDouble : public DispatchStub<Interface>, public ISupportErrorInfo {
public:
    CountedDouble(const CountedDouble&) = delete;
    CountedDouble& operator=(const CountedDouble&) = delete;

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
        if (object == nullptr) return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) ||
            IsEqualIID(riid, velcom::uuidOf<Interface>())) {
            *object = static_cast<Interface*>(this);
        } else if (IsEqualIID(riid, IID_ISupportErrorInfo)) {
            *object = static_cast<ISupportErrorInfo*>(this);
        } else {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
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

    // The references held now; a test that holds the only one expects 1 when the component has
    // given back all of its own.
    ULONG references() const { return m_references; }

    // See MethodScript; the scriptable method names are listed with each double.
    void fail(std::string_view method, HRESULT result, std::string description = {},
              unsigned after = 0) {
        m_methods.fail(method, result, std::move(description), after);
    }
    void succeed(std::string_view method) { m_methods.succeed(method); }
    unsigned callCount(std::string_view method) const { return m_methods.callCount(method); }

protected:
    explicit CountedDouble(std::initializer_list<std::string_view> methods) : m_methods(methods) {}
    virtual ~CountedDouble() = default;

    HRESULT enter(std::string_view method) {
        return m_methods.enter(method, velcom::uuidOf<Interface>());
    }

private:
    ULONG m_references = 0;
    MethodScript m_methods;
};

// A one-dimensional VT_ARRAY|VT_UI1 with lower bound 0 holding the bytes.
inline velcom::Variant makeByteArray(std::string_view bytes) {
    velcom::Variant value;
    SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size()));
    if (array == nullptr) throw _com_error(E_OUTOFMEMORY);
    value.put()->vt = VT_ARRAY | VT_UI1;
    value.get()->parray = array;
    if (!bytes.empty()) {
        const velcom::SafeArrayData<BYTE> data(array);
        if (data.data() == nullptr) throw _com_error(data.result());
        std::memcpy(data.data(), bytes.data(), bytes.size());
    }
    return value;
}

// A one-dimensional VT_ARRAY|VT_BSTR with lower bound 0 holding the texts.
inline velcom::Variant makeStringList(const std::vector<std::string>& texts) {
    velcom::Variant value;
    SAFEARRAY* array = SafeArrayCreateVector(VT_BSTR, 0, static_cast<ULONG>(texts.size()));
    if (array == nullptr) throw _com_error(E_OUTOFMEMORY);
    value.put()->vt = VT_ARRAY | VT_BSTR;
    value.get()->parray = array;
    if (!texts.empty()) {
        const velcom::SafeArrayData<BSTR> data(array);
        if (data.data() == nullptr) throw _com_error(data.result());
        for (std::size_t index = 0; index < texts.size(); ++index)
            data.data()[index] = toBstr(texts[index]).detach();
    }
    return value;
}

// A VARIANT argument that carries a list, as the double received it.
struct ListArgument {
    VARTYPE type = VT_EMPTY;
    SCODE error = S_OK;  // the code of a VT_ERROR
    UINT dimensions = 0;
    LONG lowerBound = 0;  // of the first dimension
    // The elements of a one-dimensional VT_ARRAY|VT_BSTR as texts, or of a VT_ARRAY|VT_I4 in
    // decimal; empty for every other type.
    std::vector<std::string> items;

    // The form of an omitted optional argument: VT_ERROR with DISP_E_PARAMNOTFOUND.
    bool omitted() const { return type == VT_ERROR && error == DISP_E_PARAMNOTFOUND; }
    // A list of one dimension with lower bound 0 of the element type.
    bool isList(VARTYPE element) const {
        return type == (VT_ARRAY | element) && dimensions == 1 && lowerBound == 0;
    }
};

inline ListArgument readListArgument(const VARIANT& value) {
    ListArgument list;
    list.type = value.vt;
    if (value.vt == VT_ERROR) list.error = value.scode;
    if ((value.vt & VT_ARRAY) == 0 || value.parray == nullptr) return list;
    list.dimensions = SafeArrayGetDim(value.parray);
    LONG upperBound = -1;
    if (list.dimensions != 1 || FAILED(SafeArrayGetLBound(value.parray, 1, &list.lowerBound)) ||
        FAILED(SafeArrayGetUBound(value.parray, 1, &upperBound)))
        return list;
    const auto count = static_cast<std::size_t>(upperBound - list.lowerBound + 1);
    if (value.vt == (VT_ARRAY | VT_BSTR)) {
        const velcom::SafeArrayData<BSTR> data(value.parray);
        if (data.data() == nullptr) return list;
        for (std::size_t index = 0; index < count; ++index)
            list.items.push_back(toAnsi(data.data()[index]));
    } else if (value.vt == (VT_ARRAY | VT_I4)) {
        const velcom::SafeArrayData<LONG> data(value.parray);
        if (data.data() == nullptr) return list;
        for (std::size_t index = 0; index < count; ++index)
            list.items.push_back(std::to_string(data.data()[index]));
    }
    return list;
}
