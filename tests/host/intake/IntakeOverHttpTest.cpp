// The component's upload reader taking real request bodies over HTTP through the page
// engine's Request object: the fields arrive intact, a refused body is not read, and a
// client that hangs up mid-body ends the intake with the reader's failure.
#include <gtest/gtest.h>

#include <future>
#include <string>

#include <windows.h>
#include <comsvcs.h>

#include "common/TestHttpClient.h"
#include "host/HttpExchange.h"
#include "host/HttpServer.h"
#include "host/RequestObject.h"
#include "host/ServerObject.h"
#include "host/SitePaths.h"
#include "intake/Multipart.h"
#include "platform/common/ComPtr.h"

using namespace ferrolift::host;

namespace {

struct IntakeResult {
    bool failed = false;
    std::string errors;
    std::string fields;   // "name=length;" per value, in order
    std::string fileBytes;
};

struct Handler {
    LONG maxUploadSize = Multipart::kDefaultMaxUploadSize;
    std::promise<IntakeResult> result;
};

void RunIntake(const std::shared_ptr<HttpExchange>& inExchange, Handler* inHandler)
{
    IntakeResult theResult;
    SitePaths thePaths(FERROLIFT_TEST_DATA "/site");
    ComPtr<IRequest> theRequest;
    theRequest.attach(new RequestObject(inExchange));
    ComPtr<IServer> theServer;
    theServer.attach(new ServerObject(thePaths, "/"));
    {
        ferrolift::platform::ObjectContextScope theScope(theRequest.get(), theServer.get());
        Multipart theReader;
        theReader.SetMaxUploadSize(inHandler->maxUploadSize);
        theResult.failed = theReader.Initialize(nullptr, false);
        theResult.errors = theReader.Errors().Describe();
        for (LONG g = 0; g < theReader.GroupCount(); ++g) {
            const FieldGroup* theGroup = theReader.GetGroup(g);
            for (LONG e = 0; e < theGroup->EntryCount(); ++e) {
                const FieldEntry* theEntry = theGroup->Entry(e);
                theResult.fields += std::string(theGroup->Name()) + "=" + std::to_string(theEntry->length) + ";";
                if (!theEntry->rawPath.empty())
                    theResult.fileBytes.assign(reinterpret_cast<const char*>(theEntry->data), theEntry->length);
            }
        }
    }
    inExchange->Write("done");
    inExchange->Finish();
    inHandler->result.set_value(theResult);
}

class IntakeOverHttpTest : public ::testing::Test {
protected:
    void Start(LONG inMaxUploadSize)
    {
        mHandler.maxUploadSize = inMaxUploadSize;
        ServerOptions theOptions;
        theOptions.listen = "127.0.0.1:0";
        theOptions.threads = 2;
        theOptions.accessLog = nullptr;
        theOptions.handler = [this](const std::shared_ptr<HttpExchange>& inExchange) { RunIntake(inExchange, &mHandler); };
        mServer = std::make_unique<HttpServer>(theOptions);
        std::string theError;
        ASSERT_TRUE(mServer->Start(theError)) << theError;
        mPort = mServer->Port();
    }
    void TearDown() override { mServer.reset(); }
    static std::string Multipart(const std::string& inFile)
    {
        return "--XyZ\r\nContent-Disposition: form-data; name=\"title\"\r\n\r\nHello\r\n"
               "--XyZ\r\nContent-Disposition: form-data; name=\"photo\"; filename=\"C:\\\\pics\\\\a b.jpg\"\r\n"
               "Content-Type: image/jpeg\r\n\r\n" + inFile + "\r\n--XyZ--\r\n";
    }

    Handler mHandler;
    std::unique_ptr<HttpServer> mServer;
    int mPort = 0;
};

TEST_F(IntakeOverHttpTest, FieldsArriveIntact)
{
    Start(Multipart::kDefaultMaxUploadSize);
    std::string theFile;
    for (int i = 0; i < 300000; ++i)
        theFile += static_cast<char>(i * 7 % 251);
    HttpRequest(mPort, "POST", "/", Multipart(theFile), "Content-Type: multipart/form-data; boundary=XyZ\r\n");
    IntakeResult theResult = mHandler.result.get_future().get();
    EXPECT_FALSE(theResult.failed) << theResult.errors;
    EXPECT_EQ(theResult.fields, "title=5;photo=300000;");
    EXPECT_TRUE(theResult.fileBytes == theFile);
}

TEST_F(IntakeOverHttpTest, BodyAboveTheLimitIsRefusedUnread)
{
    Start(1000);
    TestResponse theResponse =
        HttpRequest(mPort, "POST", "/", Multipart(std::string(5000, 'z')), "Content-Type: multipart/form-data; boundary=XyZ\r\n");
    IntakeResult theResult = mHandler.result.get_future().get();
    EXPECT_TRUE(theResult.failed);
    EXPECT_NE(theResult.errors.find("Upload size is greater than the maximum allowed"), std::string::npos);
    EXPECT_EQ(theResponse.body, "done");
}

TEST_F(IntakeOverHttpTest, HangingUpMidBodyStopsTheUpload)
{
    Start(Multipart::kDefaultMaxUploadSize);
    std::string theBody = Multipart(std::string(200000, 'q'));
    std::string theRequest = "POST / HTTP/1.1\r\nHost: t\r\nContent-Type: multipart/form-data; boundary=XyZ\r\n"
                             "Content-Length: " + std::to_string(theBody.size()) + "\r\n\r\n" + theBody.substr(0, 50000);
    int theSocket = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in theAddress{};
    theAddress.sin_family = AF_INET;
    theAddress.sin_port = htons(static_cast<uint16_t>(mPort));
    theAddress.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(connect(theSocket, reinterpret_cast<sockaddr*>(&theAddress), sizeof theAddress), 0);
    ASSERT_EQ(send(theSocket, theRequest.data(), theRequest.size(), MSG_NOSIGNAL), static_cast<ssize_t>(theRequest.size()));
    close(theSocket);
    IntakeResult theResult = mHandler.result.get_future().get();
    EXPECT_TRUE(theResult.failed);
    EXPECT_NE(theResult.errors.find("Upload stopped unexpectedly"), std::string::npos) << theResult.errors;
    EXPECT_EQ(theResult.fields, "");
}

}  // namespace
