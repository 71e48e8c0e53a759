#include "PkiFailure.h"

void failWith(HRESULT code, const std::string& text) { throw PkiFailure(code, text); }
