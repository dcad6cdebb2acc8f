// TypeLibrary.cpp: the one description of the type library. Each member's thunk calls the
// vtable method with arguments that the dispatcher has already coerced.
#include "support/TypeLibrary.h"

#include "support/Interfaces.h"

using ferrolift::automation::CoClassDesc;
using ferrolift::automation::EnumDesc;
using ferrolift::automation::InterfaceDesc;
using ferrolift::automation::InvokeKind;
using ferrolift::automation::MemberDesc;
using ferrolift::automation::ParamDesc;
using ferrolift::automation::TypeLibraryDesc;

namespace {

// Getter results: each out type lands in the VARIANT the dispatcher returns.
template <class I>
HRESULT CallGetter(IUnknown* inSelf, HRESULT (STDMETHODCALLTYPE I::*inMember)(LONG*), VARIANT* outResult)
{
    LONG theValue = 0;
    HRESULT hr = (static_cast<I*>(inSelf)->*inMember)(&theValue);
    V_VT(outResult) = VT_I4;
    V_I4(outResult) = theValue;
    return hr;
}

template <class I>
HRESULT CallGetter(IUnknown* inSelf, HRESULT (STDMETHODCALLTYPE I::*inMember)(ferImageType*), VARIANT* outResult)
{
    ferImageType theValue = ferUnknown;
    HRESULT hr = (static_cast<I*>(inSelf)->*inMember)(&theValue);
    V_VT(outResult) = VT_I4;
    V_I4(outResult) = theValue;
    return hr;
}

template <class I>
HRESULT CallGetter(IUnknown* inSelf, HRESULT (STDMETHODCALLTYPE I::*inMember)(VARIANT_BOOL*), VARIANT* outResult)
{
    VARIANT_BOOL theValue = VARIANT_FALSE;
    HRESULT hr = (static_cast<I*>(inSelf)->*inMember)(&theValue);
    V_VT(outResult) = VT_BOOL;
    V_BOOL(outResult) = theValue;
    return hr;
}

template <class I>
HRESULT CallGetter(IUnknown* inSelf, HRESULT (STDMETHODCALLTYPE I::*inMember)(BSTR*), VARIANT* outResult)
{
    BSTR theValue = nullptr;
    HRESULT hr = (static_cast<I*>(inSelf)->*inMember)(&theValue);
    V_VT(outResult) = VT_BSTR;
    V_BSTR(outResult) = theValue;
    return hr;
}

template <class I>
HRESULT CallGetter(IUnknown* inSelf, HRESULT (STDMETHODCALLTYPE I::*inMember)(IUnknown**), VARIANT* outResult)
{
    IUnknown* theValue = nullptr;
    HRESULT hr = (static_cast<I*>(inSelf)->*inMember)(&theValue);
    V_VT(outResult) = VT_UNKNOWN;
    V_UNKNOWN(outResult) = theValue;
    return hr;
}

template <class I>
HRESULT CallGetter(IUnknown* inSelf, HRESULT (STDMETHODCALLTYPE I::*inMember)(VARIANT*), VARIANT* outResult)
{
    return (static_cast<I*>(inSelf)->*inMember)(outResult);
}

template <auto M>
HRESULT Get(IUnknown* inSelf, VARIANT*, VARIANT* outResult)
{
    return CallGetter(inSelf, M, outResult);
}

// get_Item(VARIANT, VARIANT*) of the form and the collection.
template <class I, HRESULT (STDMETHODCALLTYPE I::*M)(VARIANT, VARIANT*)>
HRESULT GetItem(IUnknown* inSelf, VARIANT* inArgs, VARIANT* outResult)
{
    return (static_cast<I*>(inSelf)->*M)(inArgs[0], outResult);
}

template <class I>
HRESULT CallPut(IUnknown* inSelf, HRESULT (STDMETHODCALLTYPE I::*inMember)(LONG), VARIANT* inArgs)
{
    return (static_cast<I*>(inSelf)->*inMember)(V_I4(&inArgs[0]));
}

template <class I>
HRESULT CallPut(IUnknown* inSelf, HRESULT (STDMETHODCALLTYPE I::*inMember)(VARIANT_BOOL), VARIANT* inArgs)
{
    return (static_cast<I*>(inSelf)->*inMember)(V_BOOL(&inArgs[0]));
}

template <class I>
HRESULT CallPut(IUnknown* inSelf, HRESULT (STDMETHODCALLTYPE I::*inMember)(BSTR), VARIANT* inArgs)
{
    return (static_cast<I*>(inSelf)->*inMember)(V_BSTR(&inArgs[0]));
}

// Property puts and one-string methods (Read, Save) share the same shape.
template <auto M>
HRESULT Put(IUnknown* inSelf, VARIANT* inArgs, VARIANT*)
{
    return CallPut(inSelf, M, inArgs);
}

HRESULT SetUserThunk(IUnknown* inSelf, VARIANT* inArgs, VARIANT*)
{
    return static_cast<IXForm*>(inSelf)->SetUser(V_BSTR(&inArgs[0]), V_BSTR(&inArgs[1]), V_BSTR(&inArgs[2]));
}

constexpr InvokeKind kGet = InvokeKind::PropertyGet;
constexpr InvokeKind kPut = InvokeKind::PropertyPut;
constexpr InvokeKind kMethod = InvokeKind::Method;

MemberDesc Getter(DISPID inId, const char* inName, VARTYPE inType, const char* inResultName, const char* inHelp,
                  ferrolift::automation::MemberThunk inThunk)
{
    MemberDesc theMember{inId, inName, kGet, {}};
    theMember.resultType = inType;
    theMember.resultName = inResultName;
    theMember.help = inHelp;
    theMember.thunk = inThunk;
    return theMember;
}

MemberDesc Setter(DISPID inId, const char* inName, ParamDesc inParam, const char* inHelp,
                  ferrolift::automation::MemberThunk inThunk)
{
    MemberDesc theMember{inId, inName, kPut, {inParam}};
    theMember.help = inHelp;
    theMember.thunk = inThunk;
    return theMember;
}

MemberDesc NewEnum(ferrolift::automation::MemberThunk inThunk)
{
    MemberDesc theMember = Getter(DISPID_NEWENUM, "_NewEnum", VT_UNKNOWN, "outEnum", "internal property _NewEnum",
                                  inThunk);
    theMember.restricted = true;
    return theMember;
}

MemberDesc Item(ferrolift::automation::MemberThunk inThunk)
{
    MemberDesc theMember = Getter(DISPID_VALUE, "Item", VT_VARIANT, "outVal", "Returns a field referenced by name",
                                  inThunk);
    theMember.params = {ParamDesc{"inIndex", VT_VARIANT, true}};
    return theMember;
}

MemberDesc ImageTypeGetter()
{
    MemberDesc theMember = Getter(16, "ImageType", VT_I4, "outType", "The type of any uploaded image",
                                  &Get<&IXField::get_ImageType>);
    theMember.resultEnum = "ferImageType";
    return theMember;
}

MemberDesc SetUserMethod()
{
    MemberDesc theMember{11, "SetUser", kMethod, {}};
    theMember.params = {ParamDesc{"inName", VT_BSTR}, ParamDesc{"inPassword", VT_BSTR},
                        ParamDesc{"inDomain", VT_BSTR, true, "."}};
    theMember.help = "Lets you impersonate a different user";
    theMember.thunk = &SetUserThunk;
    return theMember;
}

MemberDesc PathMethod(DISPID inId, const char* inName, const char* inHelp, ferrolift::automation::MemberThunk inThunk)
{
    MemberDesc theMember{inId, inName, kMethod, {ParamDesc{"inPath", VT_BSTR}}};
    theMember.help = inHelp;
    theMember.thunk = inThunk;
    return theMember;
}

}  // namespace

const InterfaceDesc kIXFormDesc = {
    "IXForm",
    &IID_IXForm,
    "IXForm Interface",
    {
        NewEnum(&Get<&IXForm::get__NewEnum>),
        Item(&GetItem<IXForm, &IXForm::get_Item>),
        Getter(1, "Count", VT_I4, "outCount", "The number of items in the field", &Get<&IXForm::get_Count>),
        Getter(2, "ID", VT_I4, "outID", "A Unique ID for the Form", &Get<&IXForm::get_ID>),
        Setter(2, "ID", {"inID", VT_I4}, "A Unique ID for the Form", &Put<&IXForm::put_ID>),
        Getter(3, "AbsolutePath", VT_BOOL, "theTruth", "Whether to use absolute or virtual paths",
               &Get<&IXForm::get_AbsolutePath>),
        Setter(3, "AbsolutePath", {"inTruth", VT_BOOL}, "Whether to use absolute or virtual paths",
               &Put<&IXForm::put_AbsolutePath>),
        Getter(4, "Overwrite", VT_BOOL, "theTruth", "Whether to automatically overwrite files",
               &Get<&IXForm::get_Overwrite>),
        Setter(4, "Overwrite", {"inTruth", VT_BOOL}, "Whether to automatically overwrite files",
               &Put<&IXForm::put_Overwrite>),
        Getter(5, "MaxUploadSize", VT_I4, "theBytes", "The maximum number of bytes the form will accept",
               &Get<&IXForm::get_MaxUploadSize>),
        Setter(5, "MaxUploadSize", {"inBytes", VT_I4}, "The maximum number of bytes the form will accept",
               &Put<&IXForm::put_MaxUploadSize>),
        Getter(6, "User", VT_BSTR, "outName", "The name of the user currently being impersonated",
               &Get<&IXForm::get_User>),
        Getter(7, "Domain", VT_BSTR, "outName", "The domain for the currently impersonated user",
               &Get<&IXForm::get_Domain>),
        Getter(8, "CodePage", VT_I4, "outCodePage", "The Code Page to use", &Get<&IXForm::get_CodePage>),
        Setter(8, "CodePage", {"inCodePage", VT_I4}, "The Code Page to use", &Put<&IXForm::put_CodePage>),
        Getter(9, "Streams", VT_BOOL, "outStreams", "Save using NTFS streams", &Get<&IXForm::get_Streams>),
        Setter(9, "Streams", {"inStreams", VT_BOOL}, "Save using NTFS streams", &Put<&IXForm::put_Streams>),
        Getter(10, "Multipart", VT_BOOL, "outMP", "Whether multipart data was submitted",
               &Get<&IXForm::get_Multipart>),
        SetUserMethod(),
        PathMethod(12, "Read", "Lets you read raw upload data from disk", &Put<&IXForm::Read>),
        PathMethod(13, "Save", "Lets you save raw upload data to disk", &Put<&IXForm::Save>),
    },
};

const InterfaceDesc kIXFieldDesc = {
    "IXField",
    &IID_IXField,
    "IXField Interface",
    {
        Getter(0, "Content", VT_BSTR, "outContent", "The decoded data as Text", &Get<&IXField::get_Content>),
        Getter(1, "Name", VT_BSTR, "outName", "The HTML name of the field", &Get<&IXField::get_Name>),
        Getter(2, "Length", VT_I4, "outLength", "The number of bytes of decoded data", &Get<&IXField::get_Length>),
        Getter(3, "FileExists", VT_BOOL, "outExists", "Whether the field contains an uploaded file",
               &Get<&IXField::get_FileExists>),
        Getter(4, "SafeFileName", VT_BSTR, "outName", "The Windows safe filename", &Get<&IXField::get_SafeFileName>),
        Getter(5, "FileType", VT_BSTR, "outType", "The inferred file type extension of the uploaded file",
               &Get<&IXField::get_FileType>),
        Getter(6, "FileName", VT_BSTR, "outName", "The URL safe filename", &Get<&IXField::get_FileName>),
        Getter(7, "MIMEType", VT_BSTR, "outType", "The MIME type of the upload", &Get<&IXField::get_MIMEType>),
        Getter(8, "MacBinary", VT_BOOL, "outMacBinary", "Whether the file was encoded in MacBinary",
               &Get<&IXField::get_MacBinary>),
        Getter(9, "Data", VT_VARIANT, "outData", "The decoded data as Binary", &Get<&IXField::get_Data>),
        Getter(10, "Resource", VT_VARIANT, "outData", "The decoded resource fork as Binary",
               &Get<&IXField::get_Resource>),
        Getter(11, "RawFilePath", VT_BSTR, "outPath", "The client file path of the uploaded file",
               &Get<&IXField::get_RawFilePath>),
        Getter(12, "RawFileName", VT_BSTR, "outName", "The original filename", &Get<&IXField::get_RawFileName>),
        Getter(13, "RawFileType", VT_BSTR, "outType", "The file type extension of the uploaded file",
               &Get<&IXField::get_RawFileType>),
        Getter(14, "RawLength", VT_I4, "outLength", "The number of bytes of data in the raw field upload",
               &Get<&IXField::get_RawLength>),
        Getter(15, "RawData", VT_VARIANT, "outData", "The raw data as Binary", &Get<&IXField::get_RawData>),
        ImageTypeGetter(),
        Getter(17, "ImageWidth", VT_I4, "outWidth", "The width of any uploaded image", &Get<&IXField::get_ImageWidth>),
        Getter(18, "ImageHeight", VT_I4, "outHeight", "The height of any uploaded image",
               &Get<&IXField::get_ImageHeight>),
        PathMethod(19, "Save", "Lets you save the field data to disk", &Put<&IXField::Save>),
    },
};

const InterfaceDesc kIXFieldsDesc = {
    "IXFields",
    &IID_IXFields,
    "IXFields Interface",
    {
        NewEnum(&Get<&IXFields::get__NewEnum>),
        Item(&GetItem<IXFields, &IXFields::get_Item>),
        Getter(1, "Count", VT_I4, "outCount", "The number of items in the field", &Get<&IXFields::get_Count>),
    },
};

const InterfaceDesc kIXProgressDesc = {
    "IXProgress",
    &IID_IXProgress,
    "IXProgress Interface",
    {
        Getter(1, "ID", VT_I4, "outID", "A Unique ID for the Progress", &Get<&IXProgress::get_ID>),
        Setter(1, "ID", {"inID", VT_I4}, "A Unique ID for the Progress", &Put<&IXProgress::put_ID>),
        Getter(2, "Note", VT_BSTR, "outNote", "Any notes", &Get<&IXProgress::get_Note>),
        Setter(2, "Note", {"inNote", VT_BSTR}, "Any notes", &Put<&IXProgress::put_Note>),
        Getter(3, "Started", VT_BOOL, "outTruth", "Whether the transfer has been started",
               &Get<&IXProgress::get_Started>),
        Getter(4, "BytesTotal", VT_I4, "outBytes", "The total number of bytes to be transferred",
               &Get<&IXProgress::get_BytesTotal>),
        Getter(5, "BytesDone", VT_I4, "outBytes", "The number of bytes transferred so far",
               &Get<&IXProgress::get_BytesDone>),
        Getter(6, "PercentDone", VT_I4, "outPercent", "The percentage of the transfer completed",
               &Get<&IXProgress::get_PercentDone>),
        Getter(7, "ElapsedSeconds", VT_I4, "outSeconds", "The number of seconds the transfer has been in progress",
               &Get<&IXProgress::get_ElapsedSeconds>),
        Getter(8, "SecondsLeft", VT_I4, "outSeconds", "The estimated number of seconds the transfer has to go",
               &Get<&IXProgress::get_SecondsLeft>),
        Getter(9, "BytesPerSecond", VT_I4, "outBytesPS", "The number of bytes transferred per second",
               &Get<&IXProgress::get_BytesPerSecond>),
    },
};

const TypeLibraryDesc& FerroliftTypeLibrary()
{
    static const TypeLibraryDesc theLibrary = {
        "Ferrolift4",
        &LIBID_Ferrolift4,
        4,
        0,
        "Ferrolift ASP Extension",
        {EnumDesc{"ferImageType",
                  {{"ferUnknown", ferUnknown},
                   {"ferJPEGgray", ferJPEGgray},
                   {"ferJPEG", ferJPEG},
                   {"ferJPEGcmyk", ferJPEGcmyk},
                   {"ferGIF", ferGIF},
                   {"ferPNG", ferPNG},
                   {"ferBMP", ferBMP}}}},
        {&kIXFormDesc, &kIXFieldDesc, &kIXFieldsDesc, &kIXProgressDesc},
        {CoClassDesc{"XForm", &CLSID_XForm, "XForm Class", &kIXFormDesc},
         CoClassDesc{"XField", &CLSID_XField, "XField Class", &kIXFieldDesc},
         CoClassDesc{"XFields", &CLSID_XFields, "XFields Class", &kIXFieldsDesc},
         CoClassDesc{"XProgress", &CLSID_XProgress, "XProgress Class", &kIXProgressDesc}},
    };
    return theLibrary;
}
