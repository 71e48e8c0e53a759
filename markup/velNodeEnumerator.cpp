#include "markup/velNodeEnumerator.h"

#include <algorithm>
#include <new>

#include "inproc/ModuleLock.h"
#include "markup/ExceptionResult.h"
#include "markup/velNode.h"

namespace {

// A VT_DISPATCH variant with a new node object over a clone of node; a null node gives a null
// pointer. The variant is written only on success.
HRESULT makeVariant(const Node* node, VARIANT& variant) {
    IvelNode* object = nullptr;
    if (node != nullptr) {
        const HRESULT created =
            resultOrExceptionCode([&] { return CvelNode::create(node, &object); });
        if (FAILED(created)) return created;
    }
    variant.vt = VT_DISPATCH;
    variant.pdispVal = object;
    return S_OK;
}

}  // namespace

CvelNodeEnumerator::CvelNodeEnumerator(CvelNodeCollection* collection, std::size_t position)
    : m_pCollection(collection), m_nPosition(std::min(position, collection->size())) {
    lockModule();
}

CvelNodeEnumerator::~CvelNodeEnumerator() { unlockModule(); }

HRESULT CvelNodeEnumerator::create(CvelNodeCollection* collection, std::size_t position,
                                   IEnumVARIANT** result) {
    if (result == nullptr) return E_POINTER;
    *result = nullptr;
    if (collection == nullptr) return E_POINTER;
    CvelNodeEnumerator* object = new (std::nothrow) CvelNodeEnumerator(collection, position);
    if (object == nullptr) return E_OUTOFMEMORY;
    // Counted while it is queried, so that a failed query destroys it.
    const velcom::ComPtr<IEnumVARIANT> setUp(object);
    return setUp->QueryInterface(IID_IEnumVARIANT, reinterpret_cast<void**>(result));
}

void CvelNodeEnumerator::keepPositionInside() {
    // The collection's owner may have given it fewer nodes since the last call.
    m_nPosition = std::min(m_nPosition, m_pCollection->size());
}

STDMETHODIMP CvelNodeEnumerator::QueryInterface(REFIID riid, void** object) {
    if (object == nullptr) return E_POINTER;
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IEnumVARIANT)) {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    *object = static_cast<IEnumVARIANT*>(this);
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) CvelNodeEnumerator::AddRef() { return ++m_lReferences; }

STDMETHODIMP_(ULONG) CvelNodeEnumerator::Release() {
    const ULONG remaining = --m_lReferences;
    if (remaining == 0) delete this;
    return remaining;
}

STDMETHODIMP CvelNodeEnumerator::Next(ULONG celt, VARIANT* rgVar, ULONG* pCeltFetched) {
    if (rgVar == nullptr || (pCeltFetched == nullptr && celt != 1)) return E_POINTER;
    keepPositionInside();
    const std::size_t end = m_pCollection->size();
    ULONG given = 0;
    while (given < celt && m_nPosition + given < end) {
        const HRESULT made = makeVariant(m_pCollection->nodeAt(m_nPosition + given), rgVar[given]);
        if (FAILED(made)) {
            // All or nothing: the caller gets no objects and the position stays.
            for (ULONG filled = 0; filled < given; ++filled) VariantClear(&rgVar[filled]);
            if (pCeltFetched != nullptr) *pCeltFetched = 0;
            return made;
        }
        ++given;
    }
    m_nPosition += given;
    if (pCeltFetched != nullptr) *pCeltFetched = given;
    return given == celt ? S_OK : S_FALSE;
}

STDMETHODIMP CvelNodeEnumerator::Skip(ULONG celt) {
    keepPositionInside();
    const std::size_t remaining = m_pCollection->size() - m_nPosition;
    const std::size_t skipped = std::min<std::size_t>(celt, remaining);
    m_nPosition += skipped;
    return skipped == celt ? S_OK : S_FALSE;
}

STDMETHODIMP CvelNodeEnumerator::Reset() {
    m_nPosition = 0;
    return S_OK;
}

STDMETHODIMP CvelNodeEnumerator::Clone(IEnumVARIANT** ppEnum) {
    if (ppEnum == nullptr) return E_POINTER;
    return create(m_pCollection.get(), m_nPosition, ppEnum);
}
