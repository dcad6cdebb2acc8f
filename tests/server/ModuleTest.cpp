// The module's class objects and the object model every class shares: lock counting,
// aggregation, interfaces answered, reference counts, error-info support.
#include "server/Exports.h"

#include <gtest/gtest.h>

#include <atomic>

#include "server/ClassTable.h"
#include "support/Interfaces.h"
#include "platform/common/ComPtr.h"

namespace {

ComPtr<IClassFactory> FactoryOf(REFCLSID inClsid)
{
    ComPtr<IClassFactory> theFactory;
    EXPECT_EQ(DllGetClassObject(inClsid, IID_IClassFactory, theFactory.put_void()), S_OK);
    return theFactory;
}

TEST(ModuleTest, ClassObjectsOnlyForTheFourClasses)
{
    EXPECT_EQ(DllGetClassObject(CLSID_XForm, IID_IClassFactory, nullptr), E_POINTER);
    void* theObject = reinterpret_cast<void*>(1);
    EXPECT_EQ(static_cast<DWORD>(DllGetClassObject(IID_IXForm, IID_IClassFactory, &theObject)), 0x80040111u);
    EXPECT_EQ(theObject, nullptr);
    EXPECT_EQ(DllGetClassObject(CLSID_XForm, IID_IDispatch, &theObject), E_NOINTERFACE);

    ComPtr<IUnknown> theFirst;
    ComPtr<IUnknown> theSecond;
    ASSERT_EQ(DllGetClassObject(CLSID_XProgress, IID_IUnknown, theFirst.put_void()), S_OK);
    ASSERT_EQ(DllGetClassObject(CLSID_XProgress, IID_IUnknown, theSecond.put_void()), S_OK);
    EXPECT_EQ(theFirst.get(), theSecond.get()) << "class objects are cached";
    EXPECT_EQ(DllCanUnloadNow(), S_OK) << "cached class objects are no locks";
}

TEST(ModuleTest, ObjectsAndServerLocksHoldTheModule)
{
    ASSERT_EQ(DllCanUnloadNow(), S_OK);
    ComPtr<IClassFactory> theFactory = FactoryOf(CLSID_XForm);
    ComPtr<IXForm> theForm;
    ASSERT_EQ(theFactory->CreateInstance(nullptr, IID_IXForm, theForm.put_void()), S_OK);
    EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
    theForm = nullptr;
    EXPECT_EQ(DllCanUnloadNow(), S_OK);

    theFactory->LockServer(TRUE);
    EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
    theFactory->LockServer(FALSE);
    EXPECT_EQ(DllCanUnloadNow(), S_OK);
}

TEST(ModuleTest, CreateInstanceArguments)
{
    ComPtr<IClassFactory> theFactory = FactoryOf(CLSID_XField);
    EXPECT_EQ(theFactory->CreateInstance(nullptr, IID_IXField, nullptr), E_POINTER);
    ComPtr<IUnknown> theOuter;
    ASSERT_EQ(theFactory->CreateInstance(nullptr, IID_IUnknown, theOuter.put_void()), S_OK);
    void* theObject = reinterpret_cast<void*>(1);
    EXPECT_EQ(theFactory->CreateInstance(theOuter.get(), IID_IXField, &theObject), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(theObject, nullptr);
    EXPECT_EQ(theFactory->CreateInstance(nullptr, IID_IClassFactory, &theObject), E_NOINTERFACE);
    EXPECT_EQ(theObject, nullptr);
    theOuter = nullptr;
    EXPECT_EQ(DllCanUnloadNow(), S_OK) << "a failed creation leaves no object behind";
}

// An outer object that aggregates a component object and counts its own references.
class Outer : public IUnknown {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID inIid, void** outObject) override
    {
        if (IsEqualIID(inIid, IID_IUnknown)) {
            AddRef();
            *outObject = static_cast<IUnknown*>(this);
            return S_OK;
        }
        return mInner->QueryInterface(inIid, outObject);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++mCount; }
    ULONG STDMETHODCALLTYPE Release() override { return --mCount; }

    ComPtr<IUnknown> mInner;
    std::atomic<ULONG> mCount{1};
};

TEST(ModuleTest, AggregatedObjectsDelegateToTheOuterObject)
{
    Outer theOuter;
    ComPtr<IClassFactory> theFactory = FactoryOf(CLSID_XProgress);
    ASSERT_EQ(theFactory->CreateInstance(&theOuter, IID_IUnknown, theOuter.mInner.put_void()), S_OK);
    EXPECT_EQ(theOuter.mCount, 1u) << "the inner object holds no reference to its outer";
    {
        ComPtr<IXProgress> theProgress;
        ASSERT_EQ(theOuter.QueryInterface(IID_IXProgress, theProgress.put_void()), S_OK);
        EXPECT_EQ(theOuter.mCount, 2u);
        ComPtr<IUnknown> theIdentity;
        ASSERT_EQ(theProgress->QueryInterface(IID_IUnknown, theIdentity.put_void()), S_OK);
        EXPECT_EQ(theIdentity.get(), static_cast<IUnknown*>(&theOuter));
        ComPtr<IUnknown> theMarshal;
        EXPECT_EQ(theProgress->QueryInterface(IID_IMarshal, theMarshal.put_void()), S_OK);
    }
    EXPECT_EQ(theOuter.mCount, 1u);
    theOuter.mInner = nullptr;
    EXPECT_EQ(DllCanUnloadNow(), S_OK);
}

class EveryClassTest : public ::testing::TestWithParam<size_t> {
protected:
    const ClassEntry& Entry() const { return ClassTable()[GetParam()]; }
};

TEST_P(EveryClassTest, ReferenceCountsAndInterfaces)
{
    ComPtr<IClassFactory> theFactory = FactoryOf(Entry().clsid);
    IUnknown* theObject = nullptr;
    ASSERT_EQ(theFactory->CreateInstance(nullptr, Entry().iid, reinterpret_cast<void**>(&theObject)), S_OK);
    EXPECT_EQ(theObject->AddRef(), 2u);
    EXPECT_EQ(theObject->Release(), 1u);

    ComPtr<IUnknown> theIdentity;
    ASSERT_EQ(theObject->QueryInterface(IID_IUnknown, theIdentity.put_void()), S_OK);
    const IID* const theIids[] = {&IID_IDispatch, &IID_ISupportErrorInfo, &IID_IMarshal, &Entry().iid};
    for (const IID* theIid : theIids) {
        ComPtr<IUnknown> theInterface;
        ASSERT_EQ(theObject->QueryInterface(*theIid, theInterface.put_void()), S_OK);
        ComPtr<IUnknown> theSame;
        ASSERT_EQ(theInterface->QueryInterface(IID_IUnknown, theSame.put_void()), S_OK);
        EXPECT_EQ(theSame.get(), theIdentity.get()) << "one identity through every interface";
    }
    void* theNone = reinterpret_cast<void*>(1);
    EXPECT_EQ(theObject->QueryInterface(IID_IClassFactory, &theNone), E_NOINTERFACE);
    EXPECT_EQ(theNone, nullptr);
    EXPECT_EQ(theObject->QueryInterface(IID_IDispatch, nullptr), E_POINTER);

    theIdentity = nullptr;
    EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
    EXPECT_EQ(theObject->Release(), 0u);
    EXPECT_EQ(DllCanUnloadNow(), S_OK);
}

TEST_P(EveryClassTest, OnlyItsOwnInterfaceSupportsErrorInfo)
{
    ComPtr<ISupportErrorInfo> theSupport;
    ASSERT_EQ(FactoryOf(Entry().clsid)->CreateInstance(nullptr, IID_ISupportErrorInfo, theSupport.put_void()), S_OK);
    for (const ClassEntry& theOther : ClassTable())
        EXPECT_EQ(theSupport->InterfaceSupportsErrorInfo(theOther.iid), &theOther == &Entry() ? S_OK : S_FALSE);
    EXPECT_EQ(theSupport->InterfaceSupportsErrorInfo(IID_IDispatch), S_FALSE);
}

// Named after the class: the version-independent ProgID without "Ferrolift4.".
INSTANTIATE_TEST_SUITE_P(Classes, EveryClassTest, ::testing::Values(0, 1, 2, 3), [](const auto& inInfo) {
    return std::string(ClassTable()[inInfo.param].independentProgId).substr(11);
});

TEST(ModuleTest, NullOutPointersAreRefusedWithoutErrorInfo)
{
    ComPtr<IXForm> theForm;
    ComPtr<IXField> theField;
    ComPtr<IXFields> theFields;
    ComPtr<IXProgress> theProgress;
    ASSERT_EQ(FactoryOf(CLSID_XForm)->CreateInstance(nullptr, IID_IXForm, theForm.put_void()), S_OK);
    ASSERT_EQ(FactoryOf(CLSID_XField)->CreateInstance(nullptr, IID_IXField, theField.put_void()), S_OK);
    ASSERT_EQ(FactoryOf(CLSID_XFields)->CreateInstance(nullptr, IID_IXFields, theFields.put_void()), S_OK);
    ASSERT_EQ(FactoryOf(CLSID_XProgress)->CreateInstance(nullptr, IID_IXProgress, theProgress.put_void()), S_OK);
    SetErrorInfo(0, nullptr);
    EXPECT_EQ(theForm->get_ID(nullptr), E_POINTER);
    EXPECT_EQ(theForm->get_Streams(nullptr), E_POINTER);
    EXPECT_EQ(theField->get_Name(nullptr), E_POINTER);
    EXPECT_EQ(theField->get_ImageType(nullptr), E_POINTER);
    EXPECT_EQ(theFields->get_Count(nullptr), E_POINTER);
    EXPECT_EQ(theProgress->get_PercentDone(nullptr), E_POINTER);
    EXPECT_EQ(theProgress->get_Note(nullptr), E_POINTER);
    ComPtr<IErrorInfo> theInfo;
    EXPECT_EQ(GetErrorInfo(0, theInfo.put()), S_FALSE);
}

}  // namespace
