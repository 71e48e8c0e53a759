// The proxy's dual interfaces describe themselves to a host that reads type information.
#include "proxy/ProxyTest.h"

namespace {

TEST_F(ProxyTest, EveryDualInterfaceHasItsOwnTypeInformation) {
    for (const IID* iid : {&IID_IvelTesseraProxy, &IID_IvelTesseraProxyEx, &IID_IvelBackChannel}) {
        velcom::ComPtr<IDispatch> dual;
        ASSERT_EQ(proxy->QueryInterface(*iid, dual.putVoid()), S_OK);
        UINT count = 0;
        ASSERT_EQ(dual->GetTypeInfoCount(&count), S_OK);
        EXPECT_EQ(count, 1u);
        velcom::ComPtr<ITypeInfo> typeInfo;
        EXPECT_EQ(dual->GetTypeInfo(1, 0, typeInfo.put()), DISP_E_BADINDEX);
        ASSERT_EQ(dual->GetTypeInfo(0, 0, typeInfo.put()), S_OK);
        TYPEATTR* attributes = nullptr;
        ASSERT_EQ(typeInfo->GetTypeAttr(&attributes), S_OK);
        EXPECT_TRUE(IsEqualIID(attributes->guid, *iid));
        typeInfo->ReleaseTypeAttr(attributes);
    }
}

}  // namespace
