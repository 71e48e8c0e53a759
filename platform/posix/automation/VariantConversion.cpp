// VariantChangeType: coercion between the scalar automation types, strings and objects.
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

#include <velcom/posix/objbase.h>

#include "ElementTypes.h"

namespace {

// A scalar value on its way from one type to another.
struct Scalar {
    enum class Kind { Signed, Unsigned, Real, Boolean };
    Kind kind = Kind::Signed;
    LONGLONG signedValue = 0;
    ULONGLONG unsignedValue = 0;
    double realValue = 0;
};

Scalar signedScalar(LONGLONG value) { return {Scalar::Kind::Signed, value, 0, 0}; }
Scalar unsignedScalar(ULONGLONG value) { return {Scalar::Kind::Unsigned, 0, value, 0}; }
Scalar realScalar(double value) { return {Scalar::Kind::Real, 0, 0, value}; }
Scalar booleanScalar(bool value) { return {Scalar::Kind::Boolean, value ? -1 : 0, 0, 0}; }

bool isSpace(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

bool equalsIgnoringAsciiCase(std::u16string_view text, std::u16string_view word) {
    if (text.size() != word.size()) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char16_t c = text[i];
        if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
        char16_t w = word[i];
        if (w >= u'a' && w <= u'z') w = static_cast<char16_t>(w - u'a' + u'A');
        if (c != w) return false;
    }
    return true;
}

// Numbers in text: optional sign, digits with an optional decimal point and exponent, or "&H"
// hexadecimal; blanks around them are ignored. Whole numbers are kept exact.
HRESULT parseNumber(std::u16string_view text, Scalar& value) {
    while (!text.empty() && isSpace(text.front())) text.remove_prefix(1);
    while (!text.empty() && isSpace(text.back())) text.remove_suffix(1);
    if (text.empty()) return DISP_E_TYPEMISMATCH;
    std::string narrow;
    for (const char16_t c : text) {
        if (c > 0x7F) return DISP_E_TYPEMISMATCH;
        narrow += static_cast<char>(c);
    }
    if (narrow.size() > 2 && narrow[0] == '&' && (narrow[1] == 'H' || narrow[1] == 'h')) {
        const std::string digits = narrow.substr(2);
        if (digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
            return DISP_E_TYPEMISMATCH;
        errno = 0;
        const unsigned long long parsed = std::strtoull(digits.c_str(), nullptr, 16);
        if (errno == ERANGE) return DISP_E_OVERFLOW;
        value = unsignedScalar(parsed);
        return S_OK;
    }
    const bool whole = narrow.find_first_of(".eE") == std::string::npos;
    const char* begin = narrow.c_str();
    char* end = nullptr;
    errno = 0;
    if (whole) {
        const long long parsed = std::strtoll(begin, &end, 10);
        if (end == begin + narrow.size() && errno != ERANGE && std::isdigit(narrow.back())) {
            value = signedScalar(parsed);
            return S_OK;
        }
        errno = 0;
    }
    const double parsed = std::strtod(begin, &end);
    if (end != begin + narrow.size() || begin == end || std::isnan(parsed) || std::isinf(parsed))
        return errno == ERANGE ? DISP_E_OVERFLOW : DISP_E_TYPEMISMATCH;
    value = realScalar(parsed);
    return S_OK;
}

HRESULT textToScalar(BSTR text, VARTYPE target, Scalar& value) {
    const std::u16string_view view(reinterpret_cast<const char16_t*>(text), SysStringLen(text));
    if (target == VT_BOOL) {
        std::u16string_view trimmed = view;
        while (!trimmed.empty() && isSpace(trimmed.front())) trimmed.remove_prefix(1);
        while (!trimmed.empty() && isSpace(trimmed.back())) trimmed.remove_suffix(1);
        if (equalsIgnoringAsciiCase(trimmed, u"True") ||
            equalsIgnoringAsciiCase(trimmed, u"#TRUE#")) {
            value = booleanScalar(true);
            return S_OK;
        }
        if (equalsIgnoringAsciiCase(trimmed, u"False") ||
            equalsIgnoringAsciiCase(trimmed, u"#FALSE#")) {
            value = booleanScalar(false);
            return S_OK;
        }
    }
    return parseNumber(view, value);
}

HRESULT toScalar(const VARIANT& source, VARTYPE target, Scalar& value) {
    switch (source.vt) {
        case VT_EMPTY:
            value = signedScalar(0);
            return S_OK;
        case VT_I1:
            value = signedScalar(source.cVal);
            return S_OK;
        case VT_I2:
            value = signedScalar(source.iVal);
            return S_OK;
        case VT_I4:
            value = signedScalar(source.lVal);
            return S_OK;
        case VT_INT:
            value = signedScalar(source.intVal);
            return S_OK;
        case VT_I8:
            value = signedScalar(source.llVal);
            return S_OK;
        case VT_UI1:
            value = unsignedScalar(source.bVal);
            return S_OK;
        case VT_UI2:
            value = unsignedScalar(source.uiVal);
            return S_OK;
        case VT_UI4:
            value = unsignedScalar(source.ulVal);
            return S_OK;
        case VT_UINT:
            value = unsignedScalar(source.uintVal);
            return S_OK;
        case VT_UI8:
            value = unsignedScalar(source.ullVal);
            return S_OK;
        case VT_R4:
            value = realScalar(source.fltVal);
            return S_OK;
        case VT_R8:
        case VT_DATE:
            value = realScalar(source.dblVal);
            return S_OK;
        case VT_CY:
            value = realScalar(static_cast<double>(source.cyVal.int64) / 10000.0);
            return S_OK;
        case VT_BOOL:
            value = booleanScalar(source.boolVal != VARIANT_FALSE);
            return S_OK;
        case VT_BSTR:
            return textToScalar(source.bstrVal, target, value);
        default:
            return DISP_E_TYPEMISMATCH;
    }
}

// Floating point to whole numbers rounds half to even, as automation does.
bool toWhole(const Scalar& value, long double& whole) {
    switch (value.kind) {
        case Scalar::Kind::Real:
            whole = std::nearbyint(static_cast<long double>(value.realValue));
            return true;
        case Scalar::Kind::Unsigned:
            whole = static_cast<long double>(value.unsignedValue);
            return true;
        default:
            whole = static_cast<long double>(value.signedValue);
            return true;
    }
}

template <class Integer>
HRESULT toInteger(const Scalar& value, Integer& result) {
    if (value.kind == Scalar::Kind::Signed || value.kind == Scalar::Kind::Boolean) {
        const LONGLONG v = value.signedValue;
        if constexpr (std::is_signed_v<Integer>) {
            if (v < std::numeric_limits<Integer>::min() || v > std::numeric_limits<Integer>::max())
                return DISP_E_OVERFLOW;
        } else {
            if (v < 0 || static_cast<ULONGLONG>(v) > std::numeric_limits<Integer>::max())
                return DISP_E_OVERFLOW;
        }
        result = static_cast<Integer>(v);
        return S_OK;
    }
    if (value.kind == Scalar::Kind::Unsigned) {
        if (value.unsignedValue > static_cast<ULONGLONG>(std::numeric_limits<Integer>::max()))
            return DISP_E_OVERFLOW;
        result = static_cast<Integer>(value.unsignedValue);
        return S_OK;
    }
    long double whole = 0;
    toWhole(value, whole);
    if (whole < static_cast<long double>(std::numeric_limits<Integer>::min()) ||
        whole > static_cast<long double>(std::numeric_limits<Integer>::max()))
        return DISP_E_OVERFLOW;
    result = static_cast<Integer>(whole);
    return S_OK;
}

double toReal(const Scalar& value) {
    switch (value.kind) {
        case Scalar::Kind::Real:
            return value.realValue;
        case Scalar::Kind::Unsigned:
            return static_cast<double>(value.unsignedValue);
        default:
            return static_cast<double>(value.signedValue);
    }
}

bool isNonZero(const Scalar& value) {
    switch (value.kind) {
        case Scalar::Kind::Real:
            return value.realValue != 0;
        case Scalar::Kind::Unsigned:
            return value.unsignedValue != 0;
        default:
            return value.signedValue != 0;
    }
}

HRESULT textOf(const std::string& narrow, BSTR& text) {
    std::u16string wide(narrow.begin(), narrow.end());
    text = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
    return text == nullptr ? E_OUTOFMEMORY : S_OK;
}

HRESULT scalarToText(const Scalar& value, VARTYPE sourceType, USHORT flags, BSTR& text) {
    char buffer[64];
    switch (value.kind) {
        case Scalar::Kind::Boolean:
            if ((flags & VARIANT_ALPHABOOL) != 0)
                return textOf(value.signedValue != 0 ? "True" : "False", text);
            return textOf(value.signedValue != 0 ? "-1" : "0", text);
        case Scalar::Kind::Unsigned:
            std::snprintf(buffer, sizeof buffer, "%llu",
                          static_cast<unsigned long long>(value.unsignedValue));
            return textOf(buffer, text);
        case Scalar::Kind::Signed:
            std::snprintf(buffer, sizeof buffer, "%lld", static_cast<long long>(value.signedValue));
            return textOf(buffer, text);
        case Scalar::Kind::Real:
            std::snprintf(buffer, sizeof buffer, sourceType == VT_R4 ? "%.7G" : "%.15G",
                          value.realValue);
            return textOf(buffer, text);
    }
    return E_UNEXPECTED;
}

HRESULT scalarToVariant(const Scalar& value, VARTYPE sourceType, USHORT flags, VARTYPE target,
                        VARIANT& result) {
    result.vt = target;
    switch (target) {
        case VT_I1:
            return toInteger(value, result.cVal);
        case VT_I2:
            return toInteger(value, result.iVal);
        case VT_I4:
            return toInteger(value, result.lVal);
        case VT_INT:
            return toInteger(value, result.intVal);
        case VT_I8:
            return toInteger(value, result.llVal);
        case VT_UI1:
            return toInteger(value, result.bVal);
        case VT_UI2:
            return toInteger(value, result.uiVal);
        case VT_UI4:
            return toInteger(value, result.ulVal);
        case VT_UINT:
            return toInteger(value, result.uintVal);
        case VT_UI8:
            return toInteger(value, result.ullVal);
        case VT_R4: {
            const double real = toReal(value);
            if (std::fabs(real) > std::numeric_limits<float>::max()) return DISP_E_OVERFLOW;
            result.fltVal = static_cast<float>(real);
            return S_OK;
        }
        case VT_R8:
        case VT_DATE:
            result.dblVal = toReal(value);
            return S_OK;
        case VT_CY: {
            const long double scaled =
                std::nearbyint(static_cast<long double>(toReal(value)) * 10000);
            if (std::fabs(scaled) >= 9.2233720368547758e18L) return DISP_E_OVERFLOW;
            result.cyVal.int64 = static_cast<LONGLONG>(scaled);
            return S_OK;
        }
        case VT_BOOL:
            result.boolVal = isNonZero(value) ? VARIANT_TRUE : VARIANT_FALSE;
            return S_OK;
        case VT_BSTR:
            return scalarToText(value, sourceType, flags, result.bstrVal);
        default:
            return DISP_E_TYPEMISMATCH;
    }
}

// An object becomes a plain value through its default member, DISPID_VALUE.
HRESULT defaultValue(IDispatch* object, VARIANT& value) {
    if (object == nullptr) return DISP_E_TYPEMISMATCH;
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    VariantInit(&value);
    const HRESULT result = object->Invoke(DISPID_VALUE, IID_NULL, LOCALE_USER_DEFAULT,
                                          DISPATCH_PROPERTYGET, &none, &value, nullptr, nullptr);
    return FAILED(result) ? DISP_E_TYPEMISMATCH : S_OK;
}

HRESULT convertObject(const VARIANT& source, USHORT flags, VARTYPE target, VARIANT& result) {
    if (target == VT_DISPATCH || target == VT_UNKNOWN) {
        result.vt = target;
        result.punkVal = nullptr;
        if (source.punkVal == nullptr) return S_OK;
        const HRESULT queried =
            source.punkVal->QueryInterface(target == VT_DISPATCH ? IID_IDispatch : IID_IUnknown,
                                           reinterpret_cast<void**>(&result.punkVal));
        return FAILED(queried) ? DISP_E_TYPEMISMATCH : S_OK;
    }
    if (source.vt != VT_DISPATCH || (flags & VARIANT_NOVALUEPROP) != 0) return DISP_E_TYPEMISMATCH;
    VARIANT value;
    HRESULT converted = defaultValue(source.pdispVal, value);
    if (SUCCEEDED(converted)) converted = VariantChangeType(&result, &value, flags, target);
    VariantClear(&value);
    return converted;
}

HRESULT convert(const VARIANT& source, USHORT flags, VARTYPE target, VARIANT& result) {
    if (source.vt == target) return VariantCopy(&result, &source);
    if (target == VT_EMPTY) return S_OK;
    if (source.vt == VT_NULL || target == VT_NULL || source.vt == VT_ERROR || target == VT_ERROR)
        return DISP_E_TYPEMISMATCH;
    if ((source.vt & VT_ARRAY) != 0 || (target & VT_ARRAY) != 0) return DISP_E_TYPEMISMATCH;
    if (source.vt == VT_DISPATCH || source.vt == VT_UNKNOWN ||
        ((target == VT_DISPATCH || target == VT_UNKNOWN) && source.vt == VT_EMPTY)) {
        if (source.vt == VT_EMPTY) {
            result.vt = target;
            result.punkVal = nullptr;
            return S_OK;
        }
        return convertObject(source, flags, target, result);
    }
    if (target == VT_DISPATCH || target == VT_UNKNOWN) return DISP_E_TYPEMISMATCH;
    if (source.vt == VT_EMPTY && target == VT_BSTR) {
        result.vt = VT_BSTR;
        result.bstrVal = SysAllocStringLen(nullptr, 0);
        return result.bstrVal == nullptr ? E_OUTOFMEMORY : S_OK;
    }
    Scalar value;
    const HRESULT read = toScalar(source, target, value);
    if (FAILED(read)) return read;
    return scalarToVariant(value, source.vt, flags, target, result);
}

}  // namespace

extern "C" HRESULT VariantChangeTypeEx(VARIANTARG* destination, const VARIANTARG* source, LCID,
                                       USHORT flags, VARTYPE type) {
    if (destination == nullptr || source == nullptr) return E_INVALIDARG;
    HRESULT result = velcom::detail::validateVariantType(source->vt);
    if (FAILED(result)) return result;
    if ((type & VT_BYREF) != 0 || type == VT_VARIANT) return DISP_E_BADVARTYPE;
    result = velcom::detail::validateVariantType(type);
    if (FAILED(result)) return result;

    // Work on a copy without references, so that destination may be source.
    VARIANT plain;
    VariantInit(&plain);
    result = VariantCopyInd(&plain, source);
    if (FAILED(result)) return result;
    VARIANT converted;
    VariantInit(&converted);
    result = convert(plain, flags, type, converted);
    VariantClear(&plain);
    if (FAILED(result)) {
        VariantClear(&converted);
        return result;
    }
    result = VariantClear(destination);
    if (FAILED(result)) {
        VariantClear(&converted);
        return result;
    }
    *destination = converted;
    return S_OK;
}

extern "C" HRESULT VariantChangeType(VARIANTARG* destination, const VARIANTARG* source,
                                     USHORT flags, VARTYPE type) {
    return VariantChangeTypeEx(destination, source, LOCALE_USER_DEFAULT, flags, type);
}
