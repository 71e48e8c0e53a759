// The three lists of the component share one shape: Add appends, Remove and Item take a 0-based
// index. Enumeration with _NewEnum is not offered.
#pragma once

#include <vector>

#include <velTesseraComm/DispatchTables.h>

#include "ErrorBoundary.h"
#include "PkiObject.h"

template <class ListInterface, class Item, const IID& ImplementationId,
          std::span<const velcom::DispatchMember> (*Members)()>
class CvelList final
    : public PkiObject<CvelList<ListInterface, Item, ImplementationId, Members>, ListInterface> {
    using Base = PkiObject<CvelList, ListInterface>;

public:
    static constexpr const IID& kImplementationId = ImplementationId;

    CvelList() : Base(Members()) {}

    const std::vector<velcom::ComPtr<Item>>& items() const { return m_items; }
    template <class Own>
    void append(const velcom::ComPtr<Own>& item) {
        m_items.emplace_back(static_cast<Item*>(item.get()));
    }

    STDMETHODIMP get_Count(LONG* pVal) override {
        return errorBoundary(Base::interfaceId(), "Count", [&] {
            requireOut(pVal);
            *pVal = static_cast<LONG>(m_items.size());
        });
    }
    STDMETHODIMP Add(Item* item) override {
        return errorBoundary(Base::interfaceId(), "Add", [&] {
            if (item == nullptr) failWith(E_INVALIDARG, "nothing to add");
            m_items.emplace_back(item);
        });
    }
    STDMETHODIMP Remove(LONG lIndex) override {
        return errorBoundary(Base::interfaceId(), "Remove",
                             [&] { m_items.erase(m_items.begin() + checkedIndex(lIndex)); });
    }
    STDMETHODIMP get__NewEnum(IUnknown**) override { return E_NOTIMPL; }
    STDMETHODIMP get_Item(LONG lIndex, Item** ppVal) override {
        return errorBoundary(Base::interfaceId(), "Item", [&] {
            requireOut(ppVal);
            *ppVal = nullptr;
            Item* item = m_items[checkedIndex(lIndex)].get();
            item->AddRef();
            *ppVal = item;
        });
    }

private:
    std::ptrdiff_t checkedIndex(LONG index) const {
        if (index < 0 || static_cast<std::size_t>(index) >= m_items.size())
            failWith(E_INVALIDARG, "no item at this index");
        return index;
    }

    std::vector<velcom::ComPtr<Item>> m_items;
};

inline constexpr IID kCertificateListId = {
    0x5b0e3c1a, 0x2f6d, 0x4e8b, {0x9a, 0x11, 0x3c, 0x7d, 0x52, 0x90, 0x6e, 0x05}};
inline constexpr IID kRevocationListListId = {
    0x5b0e3c1a, 0x2f6d, 0x4e8b, {0x9a, 0x11, 0x3c, 0x7d, 0x52, 0x90, 0x6e, 0x06}};
inline constexpr IID kKeyListId = {
    0x5b0e3c1a, 0x2f6d, 0x4e8b, {0x9a, 0x11, 0x3c, 0x7d, 0x52, 0x90, 0x6e, 0x07}};

inline std::span<const velcom::DispatchMember> certificateListMembers() {
    return kISMCertificateListMembers;
}
inline std::span<const velcom::DispatchMember> revocationListListMembers() {
    return kISMCRLListMembers;
}
inline std::span<const velcom::DispatchMember> keyListMembers() { return kISMKeyListMembers; }

using CvelCertificateList =
    CvelList<ISMCertificateList, ISMCertificate, kCertificateListId, certificateListMembers>;
using CvelCRLList =
    CvelList<ISMCRLList, ISMRevocationList, kRevocationListListId, revocationListListMembers>;
using CvelKeyList = CvelList<ISMKeyList, ISMAsymKey, kKeyListId, keyListMembers>;
