#include <windows.h>

#include <dlfcn.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include <unistd.h>

namespace {

bool ModuleLoaded()
{
    void* theHandle = dlopen(FERROLIFT_TEST_COM_MODULE, RTLD_LAZY | RTLD_NOLOAD);
    if (theHandle)
        dlclose(theHandle);
    return theHandle != nullptr;
}

const CLSID kTestClass = {0x7B2E1D01, 0x3C4D, 0x4A5B, {0x9C, 0x8D, 0x7E, 0x6F, 0x50, 0x41, 0x32, 0x23}};
const CLSID kOtherClass = {0x7B2E1D02, 0x3C4D, 0x4A5B, {0x9C, 0x8D, 0x7E, 0x6F, 0x50, 0x41, 0x32, 0x23}};
const char* kTestClassText = "{7B2E1D01-3C4D-4A5B-9C8D-7E6F50413223}";
const char* kOtherClassText = "{7B2E1D02-3C4D-4A5B-9C8D-7E6F50413223}";

void SetDefault(const std::string& inKey, const std::string& inValue)
{
    HKEY theKey = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, inKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &theKey, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(theKey, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(inValue.c_str()),
                             static_cast<DWORD>(inValue.size() + 1)),
              ERROR_SUCCESS);
    RegCloseKey(theKey);
}

// Each test gets a fresh registry file naming the test module.
class Activation : public ::testing::Test {
protected:
    void SetUp() override
    {
        // ctest runs these tests as parallel processes: one file per process.
        mFile = std::string(FERROLIFT_BINARY_DIR) + "/test_platform_com." + std::to_string(getpid()) + ".reg";
        std::remove(mFile.c_str());
        setenv("FERROLIFT_REGISTRY", mFile.c_str(), 1);
        SetDefault("Test.Object.1\\CLSID", kTestClassText);
        SetDefault(std::string("CLSID\\") + kTestClassText + "\\ProgID", "Test.Object.1");
        SetDefault(std::string("CLSID\\") + kTestClassText + "\\InprocServer32", FERROLIFT_TEST_COM_MODULE);
    }
    void TearDown() override
    {
        CoFreeUnusedLibraries();
        std::remove(mFile.c_str());
    }
    void PointOtherClassAt(const std::string& inPath)
    {
        SetDefault(std::string("CLSID\\") + kOtherClassText + "\\InprocServer32", inPath);
    }
    std::string mFile;
};

TEST_F(Activation, ProgIdsAndClassIdsMapBothWays)
{
    CLSID theClsid{};
    ASSERT_EQ(CLSIDFromProgID(u"test.object.1", &theClsid), S_OK);
    EXPECT_TRUE(IsEqualCLSID(theClsid, kTestClass));
    ASSERT_EQ(CLSIDFromString(u"Test.Object.1", &theClsid), S_OK);
    EXPECT_TRUE(IsEqualCLSID(theClsid, kTestClass));
    LPOLESTR theProgId = nullptr;
    ASSERT_EQ(ProgIDFromCLSID(kTestClass, &theProgId), S_OK);
    EXPECT_EQ(std::u16string(theProgId), u"Test.Object.1");
    CoTaskMemFree(theProgId);

    EXPECT_EQ(CLSIDFromProgID(u"No.Such.Thing", &theClsid), CO_E_CLASSSTRING);
    EXPECT_EQ(CLSIDFromString(u"No.Such.Thing", &theClsid), CO_E_CLASSSTRING);
    EXPECT_EQ(CLSIDFromProgID(u"", &theClsid), CO_E_CLASSSTRING);
    EXPECT_EQ(CLSIDFromProgID(nullptr, &theClsid), E_INVALIDARG);
    EXPECT_EQ(ProgIDFromCLSID(kOtherClass, &theProgId), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(theProgId, nullptr);
    EXPECT_EQ(ProgIDFromCLSID(kTestClass, nullptr), E_INVALIDARG);
    SetDefault("Broken.Object\\CLSID", "not a guid");
    EXPECT_EQ(CLSIDFromProgID(u"Broken.Object", &theClsid), CO_E_CLASSSTRING);
}

TEST_F(Activation, CreatesObjectsAndUnloadsIdleModules)
{
    IUnknown* theObject = nullptr;
    ASSERT_EQ(CoCreateInstance(kTestClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, reinterpret_cast<void**>(&theObject)),
              S_OK);
    ASSERT_NE(theObject, nullptr);
    // A live object keeps its module loaded.
    CoFreeUnusedLibraries();
    EXPECT_TRUE(ModuleLoaded());
    EXPECT_EQ(theObject->AddRef(), 2u);
    theObject->Release();
    EXPECT_EQ(theObject->Release(), 0u);
    CoFreeUnusedLibraries();
    EXPECT_FALSE(ModuleLoaded());

    // Loaded again on demand after unloading.
    IClassFactory* theFactory = nullptr;
    ASSERT_EQ(CoGetClassObject(kTestClass, CLSCTX_ALL, nullptr, IID_IClassFactory, reinterpret_cast<void**>(&theFactory)),
              S_OK);
    theFactory->Release();

    void* theNone = reinterpret_cast<void*>(1);
    EXPECT_EQ(CoCreateInstance(kTestClass, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, &theNone), E_NOINTERFACE);
    EXPECT_EQ(theNone, nullptr);
    EXPECT_EQ(CoCreateInstance(kTestClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, nullptr), E_INVALIDARG);
}

TEST_F(Activation, FailuresNameTheirCause)
{
    void* theObject = nullptr;
    EXPECT_EQ(CoCreateInstance(kOtherClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &theObject), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(CoCreateInstance(kTestClass, nullptr, CLSCTX_LOCAL_SERVER, IID_IUnknown, &theObject), REGDB_E_CLASSNOTREG);

    PointOtherClassAt("/nonexistent/libnothing.so");
    EXPECT_EQ(CoCreateInstance(kOtherClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &theObject), CO_E_DLLNOTFOUND);
    PointOtherClassAt("");
    EXPECT_EQ(CoCreateInstance(kOtherClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &theObject), CO_E_DLLNOTFOUND);
    PointOtherClassAt(mFile);   // a text file, not a library
    EXPECT_EQ(CoCreateInstance(kOtherClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &theObject), CO_E_ERRORINDLL);
    PointOtherClassAt(std::string(FERROLIFT_BINARY_DIR) + "/lib/libferrolift-platform.so");   // no DllGetClassObject
    EXPECT_EQ(CoCreateInstance(kOtherClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &theObject), CO_E_ERRORINDLL);

    // The module is found but does not serve this class.
    PointOtherClassAt(FERROLIFT_TEST_COM_MODULE);
    EXPECT_EQ(CoCreateInstance(kOtherClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &theObject),
              CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(theObject, nullptr);
}

TEST_F(Activation, ThreadsActivateConcurrently)
{
    std::vector<std::thread> theThreads;
    std::atomic<int> theCreated{0};
    for (int i = 0; i < 4; ++i) {
        theThreads.emplace_back([&] {
            for (int j = 0; j < 20; ++j) {
                IUnknown* theObject = nullptr;
                if (SUCCEEDED(CoCreateInstance(kTestClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                               reinterpret_cast<void**>(&theObject)))) {
                    ++theCreated;
                    theObject->Release();
                }
            }
        });
    }
    for (std::thread& theThread : theThreads)
        theThread.join();
    EXPECT_EQ(theCreated, 80);
}

}  // namespace
