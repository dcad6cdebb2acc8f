// TestPage.h: a page for tests. It installs an object context whose Request serves a
// given body through BinaryRead, scripted chunk by chunk, and whose Server maps virtual
// paths into a temporary site folder. Header-only on purpose.
//
//   ferrolift::test::TestPage thePage("--XyZ\r\nContent-Disposition: ...");
//   thePage.Request().SetDeliveries({100, 0});        // 1st read gives 100 bytes, 2nd none
//   thePage.Request().FailAfter(4096, E_FAIL);        // the read after 4096 bytes fails
//   ... run the component: GetObjectContext finds this page on this thread ...
//   EXPECT_EQ(thePage.Request().RequestedCounts(), (std::vector<long>{2048, 2048, 904}));
//   std::string thePath = thePage.Root() + "/uploads/a.txt";   // what "/uploads/a.txt" maps to
#pragma once

#include <asptlb.h>
#include <comsvcs.h>
#include <oleauto.h>
#include <windows.h>

#include "common/TempFolder.h"
#include "platform/files/FilePath.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <sys/mount.h>
#include <sys/stat.h>
#include <vector>

namespace ferrolift::test {

/// A file system of inType ("tmpfs", "ramfs", ...) mounted on a new folder for the
/// scope; needs root. Mounted() is false (with the reason in Failure()) when the system
/// does not allow it, so tests can skip.
class ScopedMount {
public:
    explicit ScopedMount(const std::string& inType, const std::string& inOptions = {})
    {
        mPoint = mFolder / "mnt";
        if (mFolder.Path().empty() || ::mkdir(mPoint.c_str(), 0755) != 0) {
            mFailure = "cannot make a mount point";
            return;
        }
        if (::mount("none", mPoint.c_str(), inType.c_str(), 0, inOptions.empty() ? nullptr : inOptions.c_str()) != 0) {
            mFailure = "mount -t " + inType + " failed: " + strerror(errno) + " (tests need root)";
            return;
        }
        mMounted = true;
    }
    ~ScopedMount()
    {
        if (mMounted)
            ::umount2(mPoint.c_str(), MNT_DETACH);
    }
    ScopedMount(const ScopedMount&) = delete;
    ScopedMount& operator=(const ScopedMount&) = delete;

    /// Whether the file system is mounted.
    bool Mounted() const { return mMounted; }
    /// Why it is not.
    const std::string& Failure() const { return mFailure; }
    /// The mount point.
    const std::string& Path() const { return mPoint; }

private:
    ScopedTempFolder mFolder;
    std::string mPoint;
    std::string mFailure;
    bool mMounted = false;
};

/// Reference counting and IDispatch stubs for the test objects (the component uses the
/// vtable, so GetIDsOfNames and Invoke answer E_NOTIMPL).
template <class Interface>
class TestDispatch : public Interface {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID inIid, void** outObject) override
    {
        if (!outObject)
            return E_POINTER;
        *outObject = nullptr;
        if (!IsEqualIID(inIid, IID_IUnknown) && !IsEqualIID(inIid, IID_IDispatch) &&
            !IsEqualIID(inIid, Interface::iid()))
            return E_NOINTERFACE;
        *outObject = static_cast<Interface*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++mReferences; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const ULONG theLeft = --mReferences;
        if (theLeft == 0)
            delete this;
        return theLeft;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* outCount) override
    {
        if (!outCount)
            return E_POINTER;
        *outCount = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override
    {
        return E_NOTIMPL;
    }

    /// The current reference count (for leak checks in tests).
    ULONG References() const { return mReferences; }

protected:
    virtual ~TestDispatch() = default;

private:
    std::atomic<ULONG> mReferences{1};
};

/// A Request whose body is a given byte string, read through a script of deliveries.
/// A request object whose collections the component never reads: only the body members
/// are left for a test double to give.
class RequestWithoutCollections : public TestDispatch<IRequest> {
public:
    HRESULT STDMETHODCALLTYPE get_Item(BSTR, IDispatch**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_QueryString(IRequestDictionary**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Form(IRequestDictionary**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Body(IRequestDictionary**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_ServerVariables(IRequestDictionary**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_ClientCertificate(IRequestDictionary**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Cookies(IRequestDictionary**) override { return E_NOTIMPL; }
};

class TestRequest final : public RequestWithoutCollections {
public:
    explicit TestRequest(std::string inBody) : mBody(std::move(inBody)), mTotalBytes(static_cast<long>(mBody.size())) {}

    /// What get_TotalBytes reports (default: the body's length) and returns.
    void SetTotalBytes(long inTotal, HRESULT inResult = S_OK)
    {
        mTotalBytes = inTotal;
        mTotalResult = inResult;
    }
    /// The i-th BinaryRead delivers at most inLimits[i] bytes (fewer is a short read);
    /// calls beyond the list deliver what is asked.
    void SetDeliveries(std::vector<long> inLimits) { mDeliveries = std::move(inLimits); }
    /// Once inBytes bytes have been delivered, BinaryRead fails with inResult.
    void FailAfter(size_t inBytes, HRESULT inResult)
    {
        mFailAfter = inBytes;
        mFailure = inResult;
    }
    /// The count handed back is of type inType (VT_I4 by default) and says inExtra more
    /// bytes than were delivered.
    void ReportCountAs(VARTYPE inType, long inExtra = 0)
    {
        mCountType = inType;
        mCountExtra = inExtra;
    }
    /// Whether BinaryRead keeps its counts for RequestedCounts / DeliveredSizes (it does
    /// by default); benchmarks turn it off, as the lists grow with the number of chunks.
    void RecordCalls(bool inRecord) { mRecord = inRecord; }
    /// Called at the start of every BinaryRead with the count asked for.
    void OnRead(std::function<void(long)> inHook) { mHook = std::move(inHook); }

    /// Every count asked for, in order.
    std::vector<long> RequestedCounts() const
    {
        std::lock_guard theGuard(mLock);
        return mRequested;
    }
    /// Every number of bytes delivered, in order (a failed call records nothing).
    std::vector<long> DeliveredSizes() const
    {
        std::lock_guard theGuard(mLock);
        return mDelivered;
    }
    /// Bytes delivered so far.
    size_t Position() const
    {
        std::lock_guard theGuard(mLock);
        return mPosition;
    }

    HRESULT STDMETHODCALLTYPE get_TotalBytes(long* outTotal) override
    {
        if (!outTotal)
            return E_POINTER;
        if (SUCCEEDED(mTotalResult))
            *outTotal = mTotalBytes;
        return mTotalResult;
    }

    HRESULT STDMETHODCALLTYPE BinaryRead(VARIANT* inOutCount, VARIANT* outBytes) override
    {
        if (!inOutCount || !outBytes)
            return E_POINTER;
        VARIANT theCount;
        VariantInit(&theCount);
        HRESULT hr = VariantChangeType(&theCount, inOutCount, 0, VT_I4);
        if (FAILED(hr))
            return hr;
        const long theAsked = V_I4(&theCount);
        if (mHook)
            mHook(theAsked);
        std::lock_guard theGuard(mLock);
        const size_t theCall = mCalls++;
        if (mRecord)
            mRequested.push_back(theAsked);
        if (theAsked < 0)
            return E_INVALIDARG;
        if (mPosition >= mFailAfter)
            return mFailure;
        size_t theSize = std::min<size_t>(static_cast<size_t>(theAsked), mBody.size() - mPosition);
        if (theCall < mDeliveries.size())
            theSize = std::min<size_t>(theSize, static_cast<size_t>(std::max<long>(mDeliveries[theCall], 0)));
        theSize = std::min(theSize, mFailAfter - mPosition);
        hr = DeliverBytes(theSize, inOutCount, outBytes);
        if (SUCCEEDED(hr)) {
            mPosition += theSize;
            if (mRecord)
                mDelivered.push_back(static_cast<long>(theSize));
        }
        return hr;
    }

private:
    HRESULT DeliverBytes(size_t inSize, VARIANT* outCount, VARIANT* outBytes)
    {
        SAFEARRAY* theArray = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(inSize));
        if (!theArray)
            return E_OUTOFMEMORY;
        void* theData = nullptr;
        if (FAILED(SafeArrayAccessData(theArray, &theData))) {
            SafeArrayDestroy(theArray);
            return E_FAIL;
        }
        if (inSize != 0)
            memcpy(theData, mBody.data() + mPosition, inSize);
        SafeArrayUnaccessData(theArray);
        VariantClear(outBytes);
        V_VT(outBytes) = VT_ARRAY | VT_UI1;
        V_ARRAY(outBytes) = theArray;
        VARIANT theReported;
        VariantInit(&theReported);
        V_VT(&theReported) = VT_I4;
        V_I4(&theReported) = static_cast<long>(inSize) + mCountExtra;
        VariantClear(outCount);
        return VariantChangeType(outCount, &theReported, 0, mCountType);
    }

    const std::string mBody;
    long mTotalBytes;
    HRESULT mTotalResult = S_OK;
    std::vector<long> mDeliveries;
    size_t mFailAfter = SIZE_MAX;
    HRESULT mFailure = E_FAIL;
    VARTYPE mCountType = VT_I4;
    long mCountExtra = 0;
    std::function<void(long)> mHook;

    mutable std::mutex mLock;
    size_t mPosition = 0;
    std::vector<long> mRequested;
    std::vector<long> mDelivered;
    size_t mCalls = 0;
    bool mRecord = true;
};

/// A Server whose MapPath maps virtual paths into a site folder: "/x" is <root>/x, a
/// relative "x" is <root><page folder>/x. Paths that climb above the root fail (E_FAIL).
class TestServer final : public TestDispatch<IServer> {
public:
    /// inPageFolder is the virtual folder of the page ("/" or "/forms/").
    TestServer(std::string inRoot, std::string inPageFolder) : mRoot(std::move(inRoot)), mPageFolder(std::move(inPageFolder)) {}

    /// Makes MapPath fail with inResult, or (S_OK with inNullPath) succeed with no string.
    void SetMapPathResult(HRESULT inResult, bool inNullPath = false)
    {
        mResult = inResult;
        mNullPath = inNullPath;
    }
    /// Every virtual path asked for, in order (UTF-8).
    std::vector<std::string> MappedPaths() const
    {
        std::lock_guard theGuard(mLock);
        return mMapped;
    }

    /// The physical path of inVirtual (UTF-8), or false when it leaves the root.
    bool Map(const std::string& inVirtual, std::string& outPhysical) const
    {
        std::string thePath = inVirtual;
        for (char& c : thePath)
            c = c == '\\' ? '/' : c;
        if (thePath.empty() || thePath[0] != '/')
            thePath = mPageFolder + (mPageFolder.empty() || mPageFolder.back() == '/' ? "" : "/") + thePath;
        std::vector<std::string> theParts;
        size_t theStart = 0;
        while (theStart <= thePath.size()) {
            size_t theEnd = thePath.find('/', theStart);
            if (theEnd == std::string::npos)
                theEnd = thePath.size();
            const std::string thePart = thePath.substr(theStart, theEnd - theStart);
            if (thePart == "..") {
                if (theParts.empty())
                    return false;
                theParts.pop_back();
            } else if (!thePart.empty() && thePart != ".") {
                theParts.push_back(thePart);
            }
            theStart = theEnd + 1;
        }
        outPhysical = mRoot;
        for (const std::string& thePart : theParts)
            outPhysical += "/" + thePart;
        return true;
    }

    HRESULT STDMETHODCALLTYPE get_ScriptTimeout(long* outSeconds) override
    {
        if (!outSeconds)
            return E_POINTER;
        *outSeconds = mTimeout;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE put_ScriptTimeout(long inSeconds) override
    {
        mTimeout = inSeconds;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE CreateObject(BSTR, IDispatch**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE HTMLEncode(BSTR, BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE URLEncode(BSTR, BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE URLPathEncode(BSTR, BSTR*) override { return E_NOTIMPL; }

    HRESULT STDMETHODCALLTYPE MapPath(BSTR inVirtual, BSTR* outPhysical) override
    {
        if (!outPhysical)
            return E_POINTER;
        *outPhysical = nullptr;
        const std::string theVirtual = ferrolift::platform::Utf8FromUtf16(inVirtual ? inVirtual : u"");
        {
            std::lock_guard theGuard(mLock);
            mMapped.push_back(theVirtual);
        }
        if (FAILED(mResult) || mNullPath)
            return mResult;
        std::string thePhysical;
        if (!Map(theVirtual, thePhysical))
            return E_FAIL;
        const std::u16string theWide = ferrolift::platform::Utf16FromUtf8(thePhysical);
        *outPhysical = SysAllocStringLen(theWide.c_str(), static_cast<UINT>(theWide.size()));
        return *outPhysical ? S_OK : E_OUTOFMEMORY;
    }

private:
    const std::string mRoot;
    const std::string mPageFolder;
    HRESULT mResult = S_OK;
    bool mNullPath = false;
    long mTimeout = 90;
    mutable std::mutex mLock;
    std::vector<std::string> mMapped;
};

/// One page on the current thread: a temporary site folder, a TestRequest over inBody and
/// a TestServer over the folder, installed as the thread's object context until the page
/// goes.
class TestPage {
public:
    explicit TestPage(std::string inBody = std::string(), std::string inPageFolder = "/")
        : mRequest(new TestRequest(std::move(inBody))), mServer(new TestServer(mSite.Path(), std::move(inPageFolder))),
          mScope(mRequest, mServer)
    {
    }
    ~TestPage()
    {
        mServer->Release();
        mRequest->Release();
    }
    TestPage(const TestPage&) = delete;
    TestPage& operator=(const TestPage&) = delete;

    /// The page's Request, to script and inspect.
    TestRequest& Request() { return *mRequest; }
    /// The page's Server.
    TestServer& Server() { return *mServer; }
    /// The site root folder (physical, UTF-8, no trailing '/').
    const std::string& Root() const { return mSite.Path(); }
    /// inRelative inside the site root.
    std::string Physical(const std::string& inRelative) const { return mSite / inRelative; }

private:
    ScopedTempFolder mSite;
    TestRequest* mRequest;
    TestServer* mServer;
    ferrolift::platform::ObjectContextScope mScope;
};

/// A UTF-16 copy of a UTF-8 string, for the wide-path calls in tests.
inline std::u16string Wide(const std::string& inText)
{
    return ferrolift::platform::Utf16FromUtf8(inText);
}

}  // namespace ferrolift::test
