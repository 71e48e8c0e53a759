// The children of a node as scripts see them: IvelNodeCollection over deep copies that the object
// owns, indexed from 1 and enumerable with for-each.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include <velTesseraComm/DispatchTables.h>
#include <velTesseraComm/velTesseraComm.h>

#include "markup/mtGNodes.h"

class CvelNodeCollection final : public velcom::DispatchImpl<IvelNodeCollection>,
                                 public ISupportErrorInfo {
public:
    // A new object over clones of nodes, handed out with one reference through a query for
    // IvelNodeCollection. E_POINTER for a null result, E_OUTOFMEMORY when the object cannot be
    // allocated. What a node's clone() throws passes through, with the half-made object
    // destroyed.
    static HRESULT create(const std::vector<Node*>& nodes, IvelNodeCollection** result);

    // Holds clones of nodes, in order, from now on and deletes those held, last first. A null node
    // is held as a null entry. When a clone() throws, the nodes held stay.
    void setNodes(const std::vector<Node*>& nodes);

    std::size_t size() const { return m_vecNodes.size(); }
    // The node at a position counted from 0, still owned by the collection; null for a null entry.
    const Node* nodeAt(std::size_t position) const { return m_vecNodes[position].get(); }

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // IvelNodeCollection
    STDMETHODIMP get_Count(LONG* pVal) override;
    STDMETHODIMP get__NewEnum(IUnknown** ppEnum) override;
    STDMETHODIMP get_Item(LONG lIndex, IvelNode** ppVal) override;

    // ISupportErrorInfo
    STDMETHODIMP InterfaceSupportsErrorInfo(REFIID riid) override;

private:
    // Created with no reference; the first query counts the first one.
    CvelNodeCollection();
    ~CvelNodeCollection();

    void deleteNodes();

    std::vector<std::unique_ptr<Node>> m_vecNodes;
    // Apartment-threaded: only ever called on the host's thread.
    ULONG m_lReferences = 0;
};
