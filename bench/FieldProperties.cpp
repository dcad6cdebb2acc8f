// Properties of a 256 MiB file field: each call looks the entry up again and answers from
// the upload in place, so Length, FileExists, the names and the (cached) image kind must
// not depend on the field's size. Data is left out on purpose: it copies by design.
#include "objects/XField.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "common/TestPage.h"
#include "objects/XForm.h"
#include "platform/common/UniqueVariant.h"
#include "common/UploadBody.h"
#include "common/ScratchMachine.h"

namespace {

constexpr size_t kFieldSize = size_t(256) << 20;

/// One page, form and field over a 256 MiB upload, read once for all benchmarks.
struct BigUpload {
    BigUpload()
    {
        SetSettingDword("ReadChunkSize", 1 << 20);
        std::string theData("GIF89a\x40\x01\xf0\x00", 10);
        theData.resize(kFieldSize, '\x5a');
        page = std::make_unique<ferrolift::test::TestPage>(
            UploadBody().File("big", "C:\\Pictures\\Huge Photo.gif", "image/gif", theData).Text());
        theData = std::string();
        if (FAILED(XForm::CreateInstance(nullptr, IID_IXForm, form.put_void())))
            return;
        form->put_MaxUploadSize(0x7FFFFFFF);
        UniqueVariant theName;
        V_VT(theName.get()) = VT_BSTR;
        V_BSTR(theName.get()) = SysAllocString(u"big");
        UniqueVariant theGroup;
        if (FAILED(form->get_Item(*theName.get(), theGroup.get())) || theGroup.vt() != VT_DISPATCH)
            return;
        ComPtr<IXFields> theFields;
        V_DISPATCH(theGroup.get())->QueryInterface(IID_IXFields, theFields.put_void());
        UniqueVariant theOne;
        V_VT(theOne.get()) = VT_I4;
        V_I4(theOne.get()) = 1;
        UniqueVariant theField;
        if (theFields && SUCCEEDED(theFields->get_Item(*theOne.get(), theField.get())) && theField.vt() == VT_DISPATCH)
            V_DISPATCH(theField.get())->QueryInterface(IID_IXField, field.put_void());
    }

    ScratchMachine machine;
    std::unique_ptr<ferrolift::test::TestPage> page;
    ComPtr<IXForm> form;
    ComPtr<IXField> field;
};

BigUpload& Upload()
{
    static BigUpload theUpload;
    return theUpload;
}

/// Skips the benchmark when the upload could not be read.
IXField* FieldOrSkip(benchmark::State& ioState)
{
    IXField* theField = Upload().field.get();
    if (theField == nullptr)
        ioState.SkipWithError("the 256 MiB upload was not read");
    return theField;
}

void BM_Length(benchmark::State& ioState)
{
    IXField* theField = FieldOrSkip(ioState);
    LONG theLength = 0;
    for (auto _ : ioState) {
        if (theField == nullptr)
            break;
        theField->get_Length(&theLength);
        benchmark::DoNotOptimize(theLength);
    }
    if (theField != nullptr && static_cast<size_t>(theLength) != kFieldSize)
        ioState.SkipWithError("wrong length");
}

void BM_LengthByName(benchmark::State& ioState)
{
    IXField* theField = FieldOrSkip(ioState);
    for (auto _ : ioState) {
        if (theField == nullptr)
            break;
        // What a script engine does for field.Length: look the name up, then invoke.
        LPOLESTR theName = const_cast<LPOLESTR>(u"Length");
        DISPID theId = 0;
        theField->GetIDsOfNames(IID_NULL, &theName, 1, 0, &theId);
        DISPPARAMS theNoArgs = {nullptr, nullptr, 0, 0};
        UniqueVariant theResult;
        theField->Invoke(theId, IID_NULL, 0, DISPATCH_PROPERTYGET, &theNoArgs, theResult.get(), nullptr, nullptr);
        benchmark::DoNotOptimize(theResult.get());
    }
}

void BM_FileExists(benchmark::State& ioState)
{
    IXField* theField = FieldOrSkip(ioState);
    VARIANT_BOOL theExists = VARIANT_FALSE;
    for (auto _ : ioState) {
        if (theField == nullptr)
            break;
        theField->get_FileExists(&theExists);
        benchmark::DoNotOptimize(theExists);
    }
}

void BM_SafeAndUrlSafeNames(benchmark::State& ioState)
{
    IXField* theField = FieldOrSkip(ioState);
    for (auto _ : ioState) {
        if (theField == nullptr)
            break;
        BSTR theSafe = nullptr;
        BSTR theURL = nullptr;
        theField->get_SafeFileName(&theSafe);
        theField->get_FileName(&theURL);
        SysFreeString(theSafe);
        SysFreeString(theURL);
    }
}

void BM_FileTypeAndMacBinary(benchmark::State& ioState)
{
    IXField* theField = FieldOrSkip(ioState);
    for (auto _ : ioState) {
        if (theField == nullptr)
            break;
        BSTR theType = nullptr;
        VARIANT_BOOL theMac = VARIANT_FALSE;
        theField->get_FileType(&theType);
        theField->get_MacBinary(&theMac);
        SysFreeString(theType);
    }
}

void BM_ImageProperties(benchmark::State& ioState)
{
    IXField* theField = FieldOrSkip(ioState);
    LONG theWidth = 0;
    for (auto _ : ioState) {
        if (theField == nullptr)
            break;
        ferImageType theType = ferUnknown;
        LONG theHeight = 0;
        theField->get_ImageType(&theType);
        theField->get_ImageWidth(&theWidth);
        theField->get_ImageHeight(&theHeight);
        benchmark::DoNotOptimize(theType);
    }
    if (theField != nullptr && theWidth != 320)
        ioState.SkipWithError("image not recognised");
}

BENCHMARK(BM_Length);
BENCHMARK(BM_LengthByName);
BENCHMARK(BM_FileExists);
BENCHMARK(BM_SafeAndUrlSafeNames);
BENCHMARK(BM_FileTypeAndMacBinary);
BENCHMARK(BM_ImageProperties);

}  // namespace

BENCHMARK_MAIN();
