// The script-visible face of one node of an answer: IvelNode over a node the object keeps alive,
// a share of the parser's page or a deep copy, so a host may keep it after the parser and the proxy
// have moved on.
#pragma once

#include <memory>

#include <velTesseraComm/DispatchTables.h>
#include <velTesseraComm/velTesseraComm.h>

#include "markup/mtGNodes.h"

class CvelNode final : public velcom::DispatchImpl<IvelNode>, public ISupportErrorInfo {
public:
    // Where each property's exception handler reports from; part of the trace lines the host sees.
    static constexpr const char* kSource = "velNode";
    static constexpr int kNameLine = 131;
    static constexpr int kTypeLine = 162;
    static constexpr int kSubNodesLine = 194;
    static constexpr int kStringPropLine = 232;
    static constexpr int kLongPropLine = 270;

    // A new object over a clone of node (over nothing when node is null), handed out with one
    // reference through a query for IvelNode. E_POINTER for a null result, E_OUTOFMEMORY when the
    // object cannot be allocated. What node's clone() throws passes through, before any object is
    // made and with *result null.
    static HRESULT create(const Node* node, IvelNode** result);
    // The same over node itself, which must not change while the object lives (a node of a parsed
    // page, shared by mtGParser::share).
    static HRESULT create(std::shared_ptr<const Node> node, IvelNode** result);

    // Holds a clone of node from now on (nothing when node is null) and deletes the one held. When
    // clone() throws, the node held stays.
    void setNode(const Node* node);

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // IvelNode
    STDMETHODIMP get_Name(BSTR* pVal) override;
    STDMETHODIMP get_Type(NodeType* pVal) override;
    STDMETHODIMP get_SubNodes(IvelNodeCollection** ppVal) override;
    STDMETHODIMP get_StringProp(BSTR* pVal) override;
    STDMETHODIMP get_LongProp(LONG* pVal) override;

    // ISupportErrorInfo
    STDMETHODIMP InterfaceSupportsErrorInfo(REFIID riid) override;

private:
    // Created with no reference; the first query counts the first one.
    CvelNode();
    ~CvelNode();

    std::shared_ptr<const Node> m_pNode;
    // Apartment-threaded: only ever called on the host's thread.
    ULONG m_lReferences = 0;
};
