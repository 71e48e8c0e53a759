// For-each over a node collection: an IEnumVARIANT that walks the collection's own list, keeping
// the collection alive with a counted reference instead of copying the nodes.
#pragma once

#include <cstddef>

#include <velcom/com.h>

#include "markup/velNodeCollection.h"

class CvelNodeEnumerator final : public IEnumVARIANT {
public:
    // A new enumerator over collection at position (0 is the first node), handed out with one
    // reference through a query for IEnumVARIANT. E_POINTER for a null collection or result,
    // E_OUTOFMEMORY when the object cannot be allocated.
    static HRESULT create(CvelNodeCollection* collection, std::size_t position,
                          IEnumVARIANT** result);

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // IEnumVARIANT
    STDMETHODIMP Next(ULONG celt, VARIANT* rgVar, ULONG* pCeltFetched) override;
    STDMETHODIMP Skip(ULONG celt) override;
    STDMETHODIMP Reset() override;
    STDMETHODIMP Clone(IEnumVARIANT** ppEnum) override;

private:
    CvelNodeEnumerator(CvelNodeCollection* collection, std::size_t position);
    ~CvelNodeEnumerator();

    void keepPositionInside();

    velcom::ComPtr<CvelNodeCollection> m_pCollection;
    // The next node to give, counted from 0.
    std::size_t m_nPosition;
    // Apartment-threaded: only ever called on the host's thread.
    ULONG m_lReferences = 0;
};
