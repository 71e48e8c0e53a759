#include "markup/velNodeCollection.h"

#include <new>

#include "inproc/ModuleLock.h"
#include "markup/ExceptionResult.h"
#include "markup/velNode.h"
#include "markup/velNodeEnumerator.h"

CvelNodeCollection::CvelNodeCollection() : DispatchImpl(kIvelNodeCollectionMembers) {
    lockModule();
}

CvelNodeCollection::~CvelNodeCollection() {
    deleteNodes();
    unlockModule();
}

HRESULT CvelNodeCollection::create(const std::vector<Node*>& nodes, IvelNodeCollection** result) {
    if (result == nullptr) return E_POINTER;
    *result = nullptr;
    CvelNodeCollection* object = new (std::nothrow) CvelNodeCollection();
    if (object == nullptr) return E_OUTOFMEMORY;
    // Counted while it is set up, so that a throwing clone() or a failed query destroys it.
    const velcom::ComPtr<IvelNodeCollection> setUp(object);
    object->setNodes(nodes);
    return setUp->QueryInterface(IID_IvelNodeCollection, reinterpret_cast<void**>(result));
}

void CvelNodeCollection::setNodes(const std::vector<Node*>& nodes) {
    // Cloned before the old nodes go, so the nodes can be set from those they replace.
    std::vector<std::unique_ptr<Node>> copies;
    copies.reserve(nodes.size());
    for (const Node* node : nodes) copies.emplace_back(node == nullptr ? nullptr : node->clone());
    deleteNodes();
    m_vecNodes = std::move(copies);
}

void CvelNodeCollection::deleteNodes() {
    while (!m_vecNodes.empty()) m_vecNodes.pop_back();
}

STDMETHODIMP CvelNodeCollection::QueryInterface(REFIID riid, void** object) {
    if (object == nullptr) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) ||
        IsEqualIID(riid, IID_IvelNodeCollection)) {
        *object = static_cast<IvelNodeCollection*>(this);
    } else if (IsEqualIID(riid, IID_ISupportErrorInfo)) {
        *object = static_cast<ISupportErrorInfo*>(this);
    } else {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) CvelNodeCollection::AddRef() { return ++m_lReferences; }

STDMETHODIMP_(ULONG) CvelNodeCollection::Release() {
    const ULONG remaining = --m_lReferences;
    if (remaining == 0) delete this;
    return remaining;
}

STDMETHODIMP CvelNodeCollection::get_Count(LONG* pVal) {
    if (pVal == nullptr) return E_POINTER;
    *pVal = static_cast<LONG>(m_vecNodes.size());
    return S_OK;
}

STDMETHODIMP CvelNodeCollection::get__NewEnum(IUnknown** ppEnum) {
    if (ppEnum == nullptr) return E_POINTER;
    *ppEnum = nullptr;
    IEnumVARIANT* enumerator = nullptr;
    const HRESULT created = CvelNodeEnumerator::create(this, 0, &enumerator);
    if (FAILED(created)) return created;
    *ppEnum = enumerator;
    return S_OK;
}

STDMETHODIMP CvelNodeCollection::get_Item(LONG lIndex, IvelNode** ppVal) {
    if (ppVal == nullptr) return E_POINTER;
    *ppVal = nullptr;
    // Scripts count from 1; anything below asks for the first node.
    const std::size_t position = lIndex < 1 ? 0 : static_cast<std::size_t>(lIndex) - 1;
    if (position >= m_vecNodes.size() || m_vecNodes[position] == nullptr) return E_FAIL;
    return resultOrExceptionCode(
        [&] { return CvelNode::create(m_vecNodes[position].get(), ppVal); });
}

STDMETHODIMP CvelNodeCollection::InterfaceSupportsErrorInfo(REFIID riid) {
    return IsEqualIID(riid, IID_IvelNodeCollection) ? S_OK : S_FALSE;
}
