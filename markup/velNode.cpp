#include "markup/velNode.h"

#include <exception>
#include <new>

#include "Utility/ExceptionBase.h"
#include "errors/ExceptionFrame.h"
#include "inproc/ModuleLock.h"
#include "markup/velNodeCollection.h"
#include "text/AnsiText.h"

namespace {

// Only an outcome and a parameter have a name, a text and a number to show.
const ReturnNode* asReturn(const Node& node) {
    return node.getKind() == KindReturn ? dynamic_cast<const ReturnNode*>(&node) : nullptr;
}

const ParameterNode* asParameter(const Node& node) {
    return node.getKind() == KindParam ? dynamic_cast<const ParameterNode*>(&node) : nullptr;
}

}  // namespace

CvelNode::CvelNode() : DispatchImpl(kIvelNodeMembers) { lockModule(); }

CvelNode::~CvelNode() { unlockModule(); }

HRESULT CvelNode::create(const Node* node, IvelNode** result) {
    if (result == nullptr) return E_POINTER;
    *result = nullptr;
    // Cloned before the object is made, so that a throwing clone() leaves nothing behind.
    return create(std::shared_ptr<const Node>(node == nullptr ? nullptr : node->clone()), result);
}

HRESULT CvelNode::create(std::shared_ptr<const Node> node, IvelNode** result) {
    if (result == nullptr) return E_POINTER;
    *result = nullptr;
    CvelNode* object = new (std::nothrow) CvelNode();
    if (object == nullptr) return E_OUTOFMEMORY;
    // Counted while it is set up, so that a failed query destroys it.
    const velcom::ComPtr<IvelNode> setUp(object);
    object->m_pNode = std::move(node);
    return setUp->QueryInterface(IID_IvelNode, reinterpret_cast<void**>(result));
}

void CvelNode::setNode(const Node* node) {
    // Cloned before the old node goes, so a node can be set from the one it replaces.
    std::shared_ptr<const Node> copy(node == nullptr ? nullptr : node->clone());
    m_pNode = std::move(copy);
}

STDMETHODIMP CvelNode::QueryInterface(REFIID riid, void** object) {
    if (object == nullptr) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) ||
        IsEqualIID(riid, IID_IvelNode)) {
        *object = static_cast<IvelNode*>(this);
    } else if (IsEqualIID(riid, IID_ISupportErrorInfo)) {
        *object = static_cast<ISupportErrorInfo*>(this);
    } else {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) CvelNode::AddRef() { return ++m_lReferences; }

STDMETHODIMP_(ULONG) CvelNode::Release() {
    const ULONG remaining = --m_lReferences;
    if (remaining == 0) delete this;
    return remaining;
}

STDMETHODIMP CvelNode::get_Name(BSTR* pVal) {
    return exceptionFrame(kSource, kNameLine, [&]() -> HRESULT {
        if (pVal == nullptr) return E_INVALIDARG;
        *pVal = nullptr;
        if (m_pNode == nullptr) return E_FAIL;
        if (const ReturnNode* outcome = asReturn(*m_pNode))
            *pVal = toBstr(outcome->getName()).detach();
        else if (const ParameterNode* parameter = asParameter(*m_pNode))
            *pVal = toBstr(parameter->getName()).detach();
        else
            return E_FAIL;
        return S_OK;
    });
}

STDMETHODIMP CvelNode::get_Type(NodeType* pVal) {
    return exceptionFrame(kSource, kTypeLine, [&]() -> HRESULT {
        if (pVal == nullptr) return E_INVALIDARG;
        if (m_pNode == nullptr) return E_FAIL;
        // The script enumeration numbers the kinds as the node tree does, also those it does not
        // name.
        *pVal = static_cast<NodeType>(m_pNode->getKind());
        return S_OK;
    });
}

STDMETHODIMP CvelNode::get_SubNodes(IvelNodeCollection** ppVal) {
    return exceptionFrame(kSource, kSubNodesLine, [&]() -> HRESULT {
        if (ppVal == nullptr) return E_INVALIDARG;
        *ppVal = nullptr;
        if (m_pNode == nullptr) return E_FAIL;
        return CvelNodeCollection::create(m_pNode->getChildren(), ppVal);
    });
}

STDMETHODIMP CvelNode::get_StringProp(BSTR* pVal) {
    return exceptionFrame(kSource, kStringPropLine, [&]() -> HRESULT {
        if (pVal == nullptr) return E_INVALIDARG;
        *pVal = nullptr;
        if (m_pNode == nullptr) return E_FAIL;
        if (const ReturnNode* outcome = asReturn(*m_pNode))
            *pVal = toBstr(outcome->getErrorMessage()).detach();
        else if (const ParameterNode* parameter = asParameter(*m_pNode))
            *pVal = toBstr(parameter->value()).detach();
        else
            return E_FAIL;
        return S_OK;
    });
}

STDMETHODIMP CvelNode::get_LongProp(LONG* pVal) {
    return exceptionFrame(kSource, kLongPropLine, [&]() -> HRESULT {
        if (pVal == nullptr) return E_INVALIDARG;
        if (m_pNode == nullptr) return E_FAIL;
        if (const ReturnNode* outcome = asReturn(*m_pNode))
            *pVal = static_cast<LONG>(outcome->getStatus());
        else if (const ParameterNode* parameter = asParameter(*m_pNode))
            *pVal = parameter->getType();
        else
            return E_FAIL;
        return S_OK;
    });
}

STDMETHODIMP CvelNode::InterfaceSupportsErrorInfo(REFIID riid) {
    return IsEqualIID(riid, IID_IvelNode) ? S_OK : S_FALSE;
}
