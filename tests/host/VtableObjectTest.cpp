// Request and Server as the component holds them: their own reference counts, one
// identity, and late binding refused (scripts reach them through their own bindings).
#include <gtest/gtest.h>

#include <windows.h>
#include <comsvcs.h>

#include "host/ServerObject.h"
#include "host/SitePaths.h"

using namespace ferrolift::host;

namespace {

TEST(VtableObjectTest, CountsReferencesAndAnswersItsOwnInterfacesOnly)
{
    SitePaths thePaths(FERROLIFT_TEST_DATA "/site");
    IServer* theServer = new ServerObject(thePaths, "/");
    EXPECT_EQ(theServer->AddRef(), 2u);
    EXPECT_EQ(theServer->Release(), 1u);
    for (const IID* theIid : {&IID_IUnknown, &IID_IDispatch, &IID_IServer}) {
        void* theFound = nullptr;
        ASSERT_EQ(theServer->QueryInterface(*theIid, &theFound), S_OK);
        EXPECT_EQ(theFound, static_cast<void*>(theServer));
        EXPECT_EQ(theServer->Release(), 1u);
    }
    void* theNone = &theNone;
    EXPECT_EQ(theServer->QueryInterface(IID_IRequest, &theNone), E_NOINTERFACE);
    EXPECT_EQ(theNone, nullptr);

    UINT theCount = 1;
    EXPECT_EQ(theServer->GetTypeInfoCount(&theCount), S_OK);
    EXPECT_EQ(theCount, 0u);
    OLECHAR theText[] = u"MapPath";
    LPOLESTR theNames[] = {theText};
    DISPID theId = 7;
    EXPECT_EQ(theServer->GetIDsOfNames(IID_NULL, theNames, 1, 0, &theId), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(theId, DISPID_UNKNOWN);
    DISPPARAMS theNoArgs = {};
    EXPECT_EQ(theServer->Invoke(1, IID_NULL, 0, DISPATCH_METHOD, &theNoArgs, nullptr, nullptr, nullptr),
              DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(theServer->Release(), 0u);
}

}  // namespace
