// A proxy created the way its class object creates it, with access to its steps for tests.
#pragma once

#include <gtest/gtest.h>

#include "proxy/velTesseraProxy.h"

class ProxyObject {
public:
    ProxyObject() {
        EXPECT_EQ(CvelTesseraProxy::create(nullptr, IID_IvelTesseraProxy, m_proxy.putVoid()), S_OK);
    }

    IvelTesseraProxy* operator->() const { return m_proxy.get(); }
    IvelTesseraProxy* get() const { return m_proxy.get(); }
    CvelTesseraProxy& object() const { return static_cast<CvelTesseraProxy&>(*m_proxy.get()); }
    void reset() { m_proxy.reset(); }

private:
    velcom::ComPtr<IvelTesseraProxy> m_proxy;
};
