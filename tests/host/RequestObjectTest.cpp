// The Request and Server objects as the component sees them: found through the object
// context of the page's thread, reading the body in chunks from the connection.
#include <gtest/gtest.h>

#include <future>
#include <string>
#include <vector>

#include <windows.h>
#include <comsvcs.h>

#include "common/TestHttpClient.h"
#include "host/HttpExchange.h"
#include "host/HttpServer.h"
#include "host/RequestObject.h"
#include "host/ScriptText.h"
#include "host/ServerObject.h"
#include "host/SitePaths.h"
#include "platform/common/ComPtr.h"
#include "platform/common/UniqueBstr.h"
#include "platform/common/UniqueVariant.h"

using namespace ferrolift::host;

namespace {

// What one handler run observed, reading through the context as the component does.
struct Observation {
    long total = -1;
    std::vector<LONG> chunks;
    std::string body;
    HRESULT failure = S_OK;
    std::string mapped;
    HRESULT escape = S_OK;
};

void ReadThroughContext(const std::shared_ptr<HttpExchange>& inExchange, std::promise<Observation>* inPromise)
{
    Observation theSeen;
    SitePaths thePaths(FERROLIFT_TEST_DATA "/site");
    ComPtr<IRequest> theRequestObject;
    theRequestObject.attach(new RequestObject(inExchange));
    ComPtr<IServer> theServerObject;
    theServerObject.attach(new ServerObject(thePaths, "/sub/"));
    {
        ferrolift::platform::ObjectContextScope theScope(theRequestObject.get(), theServerObject.get());
        ComPtr<IObjectContext> theContext;
        GetObjectContext(theContext.put());
        ComPtr<IGetContextProperties> theProperties = theContext.query<IGetContextProperties>();
        UniqueVariant theValue;
        UniqueBstr theName = UniqueBstr::copy_of(u"Request");
        theProperties->GetProperty(theName.get(), theValue.put());
        ComPtr<IRequest> theRequest;
        V_DISPATCH(theValue.get())->QueryInterface(IID_IRequest, theRequest.put_void());
        theRequest->get_TotalBytes(&theSeen.total);
        for (;;) {
            UniqueVariant theCount;
            V_VT(theCount.put()) = VT_I4;
            V_I4(theCount.get()) = 2048;
            UniqueVariant theBytes;
            HRESULT hr = theRequest->BinaryRead(theCount.get(), theBytes.put());
            if (FAILED(hr)) {
                theSeen.failure = hr;
                break;
            }
            LONG theGot = V_I4(theCount.get());
            if (theGot == 0)
                break;
            theSeen.chunks.push_back(theGot);
            void* theData = nullptr;
            SafeArrayAccessData(V_ARRAY(theBytes.get()), &theData);
            theSeen.body.append(static_cast<const char*>(theData), static_cast<std::size_t>(theGot));
            SafeArrayUnaccessData(V_ARRAY(theBytes.get()));
        }
        UniqueBstr thePhysical;
        UniqueBstr thePath = UniqueBstr::copy_of(u"a/../b.txt");
        if (SUCCEEDED(theServerObject->MapPath(thePath.get(), thePhysical.put())))
            theSeen.mapped = ScriptToUtf8(Utf16ToScript(std::u16string_view(thePhysical.get(), SysStringLen(thePhysical.get()))));
        UniqueBstr theEscape = UniqueBstr::copy_of(u"../../etc/passwd");
        UniqueBstr theNothing;
        theSeen.escape = theServerObject->MapPath(theEscape.get(), theNothing.put());
    }
    inExchange->Write("done");
    inExchange->Finish();
    inPromise->set_value(theSeen);
}

class RequestObjectTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ServerOptions theOptions;
        theOptions.listen = "127.0.0.1:0";
        theOptions.threads = 2;
        theOptions.accessLog = nullptr;
        theOptions.handler = [this](const std::shared_ptr<HttpExchange>& inExchange) {
            ReadThroughContext(inExchange, &mPromise);
        };
        mServer = std::make_unique<HttpServer>(theOptions);
        std::string theError;
        ASSERT_TRUE(mServer->Start(theError)) << theError;
        mPort = mServer->Port();
    }
    void TearDown() override { mServer.reset(); }

    std::unique_ptr<HttpServer> mServer;
    int mPort = 0;
    std::promise<Observation> mPromise;
};

TEST_F(RequestObjectTest, BodyArrivesInTheChunksAskedFor)
{
    std::string theBody;
    for (int i = 0; i < 5000; ++i)
        theBody += static_cast<char>('a' + i % 26);
    TestResponse theResponse = HttpRequest(mPort, "POST", "/", theBody);
    Observation theSeen = mPromise.get_future().get();
    EXPECT_EQ(theResponse.body, "done");
    EXPECT_EQ(theSeen.total, 5000);
    EXPECT_EQ(theSeen.chunks, (std::vector<LONG>{2048, 2048, 904}));
    EXPECT_EQ(theSeen.body, theBody);
    EXPECT_EQ(theSeen.failure, S_OK);
    EXPECT_EQ(theSeen.mapped, SitePaths(FERROLIFT_TEST_DATA "/site").Root() + "/sub/b.txt");
    EXPECT_EQ(theSeen.escape, E_FAIL);
}

TEST_F(RequestObjectTest, DisconnectMidBodyFailsTheRead)
{
    // Promise 100000 bytes, send 3000, hang up.
    std::string theRequest = "POST / HTTP/1.1\r\nHost: t\r\nContent-Length: 100000\r\n\r\n" + std::string(3000, 'x');
    int theSocket = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in theAddress{};
    theAddress.sin_family = AF_INET;
    theAddress.sin_port = htons(static_cast<uint16_t>(mPort));
    theAddress.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(connect(theSocket, reinterpret_cast<sockaddr*>(&theAddress), sizeof theAddress), 0);
    ASSERT_EQ(send(theSocket, theRequest.data(), theRequest.size(), MSG_NOSIGNAL), static_cast<ssize_t>(theRequest.size()));
    close(theSocket);
    Observation theSeen = mPromise.get_future().get();
    EXPECT_EQ(theSeen.total, 100000);
    EXPECT_EQ(theSeen.body.size(), 2048u);   // the one full chunk that arrived
    EXPECT_TRUE(FAILED(theSeen.failure));
}

}  // namespace
