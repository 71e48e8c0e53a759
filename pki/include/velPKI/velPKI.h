// The PKI component's own public face: its class, its ProgID and the interface that names the
// store it works on. The key, request and certificate interfaces it implements are those of
// <velTesseraComm/velTesseraComm.h>.
#pragma once

#include <velTesseraComm/velTesseraComm.h>

inline constexpr CLSID CLSID_velPKI = {
    0x6f6185fb, 0xb6bb, 0x4c07, {0x8e, 0x89, 0xa0, 0x13, 0x8e, 0xad, 0x6d, 0x34}};
inline constexpr char kVelPkiProgId[] = "velTesseraComm2.velPKI";

// Opens the SQLite store at path (created when missing) in place of the one in use. Without a
// call the component uses $XDG_DATA_HOME/velpki/store.db, or ~/.local/share/velpki/store.db.
inline constexpr IID IID_IvelPKIStore = {
    0x8dd4b44e, 0xc74a, 0x4cc8, {0xb9, 0xb9, 0xb3, 0xea, 0xd8, 0x39, 0xdc, 0xfc}};
struct IvelPKIStore : public IDispatch {
    STDMETHOD(Open)(BSTR path) = 0;
};
VELCOM_INTERFACE_ID(IvelPKIStore, IID_IvelPKIStore);
