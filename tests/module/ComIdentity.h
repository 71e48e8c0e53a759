// The rules of COM identity, checked on one object over the interfaces it answers: a query for
// IUnknown through any of them gives one and the same pointer; each interface answers a query
// for itself (reflexive); each answers a query for every other one, so that a query that worked
// one way works back (symmetric) and chains of queries end where a direct query does
// (transitive); an interface the object does not have is refused through every one of them.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <vector>

#include <velcom/com.h>

inline void expectComIdentity(IUnknown* object, const std::vector<IID>& answered,
                              const IID& refused) {
    velcom::ComPtr<IUnknown> identity;
    ASSERT_EQ(object->QueryInterface(IID_IUnknown, identity.putVoid()), S_OK);

    std::vector<velcom::ComPtr<IUnknown>> pointers(answered.size());
    for (std::size_t index = 0; index < answered.size(); ++index)
        ASSERT_EQ(object->QueryInterface(answered[index], pointers[index].putVoid()), S_OK)
            << "interface " << index;

    for (std::size_t from = 0; from < answered.size(); ++from) {
        SCOPED_TRACE(testing::Message() << "through interface " << from);
        IUnknown* through = pointers[from].get();

        velcom::ComPtr<IUnknown> unknown;
        ASSERT_EQ(through->QueryInterface(IID_IUnknown, unknown.putVoid()), S_OK);
        EXPECT_EQ(unknown.get(), identity.get()) << "one identity";

        for (std::size_t to = 0; to < answered.size(); ++to) {
            velcom::ComPtr<IUnknown> reached;
            ASSERT_EQ(through->QueryInterface(answered[to], reached.putVoid()), S_OK)
                << "interface " << to;
            velcom::ComPtr<IUnknown> reachedIdentity;
            ASSERT_EQ(reached->QueryInterface(IID_IUnknown, reachedIdentity.putVoid()), S_OK);
            EXPECT_EQ(reachedIdentity.get(), identity.get()) << "by way of interface " << to;
        }

        void* refusedPointer = through;
        EXPECT_EQ(through->QueryInterface(refused, &refusedPointer), E_NOINTERFACE);
        EXPECT_EQ(refusedPointer, nullptr);
    }
}
