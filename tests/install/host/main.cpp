// A host program built outside the tree against the installed package: it must find the headers,
// link the libraries and run.
#include <Utility/ExceptionBase.h>
#include <Utility/NoCase.h>
#include <Utility/Thread.h>
#include <velcom/com.h>

#include <cstdio>
#include <memory>

int main() {
    SyncObjPtr lock(std::make_unique<Mutex>());
    { ScopedLock held(lock); }
    const PreCondition contract("host.cpp", 1);
    if (contract.getCode() != 0xC0041002u || equalsNoCase("velcom", "VELCOM") != 0) return 1;

    const velcom::Bstr text(u"installed");
    velcom::Variant number;
    number.put()->vt = VT_BSTR;
    number.get()->bstrVal = SysAllocString(OLESTR("42"));
    if (text.length() != 9 || FAILED(VariantChangeType(number.get(), number.get(), 0, VT_I4)) ||
        number.get()->lVal != 42)
        return 2;
    std::printf("host ran against the installed package\n");
    return 0;
}
