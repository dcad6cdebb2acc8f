#include <gtest/gtest.h>

#include "TestWidget.h"

namespace {

TEST(IdlWriter, WritesTheWholeLibrary)
{
    const std::string theIdl = ferrolift::automation::WriteIdl(TestWidget::Library());
    const char* kExpected = R"IDL(import "oaidl.idl";

[
    uuid(6A1F0C13-2B3D-4E5F-8091-A2B3C4D5E6F7),
    version(1.2),
    helpstring("Test Library")
]
library TestLib
{
    importlib("stdole2.tlb");

    interface ITestWidget;

    typedef enum {
        tkNone = 0,
        tkSome = 1
    } TestKind;

    [
        object,
        uuid(6A1F0C11-2B3D-4E5F-8091-A2B3C4D5E6F7),
        dual,
        helpstring("ITestWidget Interface"),
        oleautomation
    ]
    interface ITestWidget : IDispatch {
        [id(0), propget, helpstring("The \"name\"")]
        HRESULT Name([out, retval] BSTR* pVal);
        [id(0), propput, helpstring("The name")]
        HRESULT Name([in] BSTR newVal);
        [id(2), helpstring("Multiplies")]
        HRESULT Scale([in] long inValue, [in, optional, defaultvalue(2)] long inFactor, [out, retval] long* outResult);
        [id(3)]
        HRESULT Describe([in, optional] VARIANT inWhat, [out, retval] long* outType);
        [id(4), helpstring("Fails")]
        HRESULT Fail([in] VARIANT_BOOL inWithInfo);
        [id(5), propget]
        HRESULT Flag([out, retval] VARIANT_BOOL* pVal);
        [id(6)]
        HRESULT Echo([in] BSTR inFirst, [in, optional, defaultvalue("two")] BSTR inSecond, [out, retval] BSTR* outText);
        [id(7), propget, restricted]
        HRESULT Kind([out, retval] TestKind* pVal);
    };

    [
        uuid(6A1F0C12-2B3D-4E5F-8091-A2B3C4D5E6F7),
        helpstring("TestWidget Class")
    ]
    coclass TestWidget {
        [default] interface ITestWidget;
    };
};
)IDL";
    EXPECT_EQ(theIdl, kExpected);
}

}  // namespace
