#include "TransportArguments.h"

#include "TransportFailure.h"
#include "text/AnsiText.h"

std::vector<std::string> stringsOf(const VARIANT& value, const char* argument) {
    if (value.vt == VT_EMPTY || value.vt == VT_ERROR) return {};
    SAFEARRAY* array = nullptr;
    if (value.vt == (VT_ARRAY | VT_BSTR))
        array = value.parray;
    else if (value.vt == (VT_BYREF | VT_ARRAY | VT_BSTR) && value.pparray != nullptr)
        array = *value.pparray;
    else if (value.vt == (VT_BYREF | VT_VARIANT) && value.pvarVal != nullptr)
        return stringsOf(*value.pvarVal, argument);
    LONG lower = 0, upper = -1;
    if (array == nullptr || SafeArrayGetDim(array) != 1 ||
        FAILED(SafeArrayGetLBound(array, 1, &lower)) ||
        FAILED(SafeArrayGetUBound(array, 1, &upper)))
        throw TransportFailure(E_INVALIDARG,
                               std::string("the ") + argument + " are not a list of strings");
    const velcom::SafeArrayData<BSTR> elements(array);
    if (elements.data() == nullptr)
        throw TransportFailure(elements.result(),
                               std::string("the ") + argument + " cannot be read");
    std::vector<std::string> strings;
    for (LONG index = 0; index <= upper - lower; ++index)
        strings.push_back(toAnsi(elements.data()[index]));
    return strings;
}

std::vector<std::string> headerLinesOf(const VARIANT& value) {
    std::vector<std::string> lines = stringsOf(value, "header lines");
    for (std::size_t index = 0; index < lines.size(); ++index)
        // The line itself stays out of the text: its value may be a secret.
        if (lines[index].find_first_of("\r\n") != std::string::npos)
            throw TransportFailure(E_INVALIDARG, "the header line " + std::to_string(index + 1) +
                                                     " holds a line break");
    return lines;
}
