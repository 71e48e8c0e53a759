// The items of a list a host passes in, each turned into what the system works with.
#pragma once

#include <vector>

#include <velcom/com.h>

#include "PkiFailure.h"

// None from a null list or from one that does not give its count; a failure when an item is not
// given.
template <class Item, class List, class Convert>
auto itemsOf(List* list, const char* failure, Convert convert) {
    std::vector<decltype(convert(static_cast<Item*>(nullptr)))> items;
    LONG count = 0;
    if (list == nullptr || FAILED(list->get_Count(&count))) return items;
    for (LONG index = 0; index < count; ++index) {
        velcom::ComPtr<Item> item;
        const HRESULT got = list->get_Item(index, item.put());
        if (FAILED(got)) failWith(got, failure);
        items.push_back(convert(item.get()));
    }
    return items;
}
