// Self-registration of the built module, activation by ProgID through the registry, and
// what unregistration removes and keeps.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>

#include "support/Interfaces.h"
#include "server/RegistryWriter.h"
#include "common/ScratchMachine.h"
#include "support/TypeLibrary.h"
#include "platform/common/ComPtr.h"

namespace {

using EntryPoint = HRESULT (*)();

class RegistrationTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        mModule = LoadLibraryA(FERROLIFT_MODULE_PATH);
        ASSERT_NE(mModule, nullptr) << FERROLIFT_MODULE_PATH;
    }
    void TearDown() override { FreeLibrary(mModule); }

    HRESULT Call(const char* inEntry)
    {
        auto theEntry = reinterpret_cast<EntryPoint>(reinterpret_cast<void (*)()>(GetProcAddress(mModule, inEntry)));
        return theEntry != nullptr ? theEntry() : E_UNEXPECTED;
    }

    ScratchMachine mMachine;
    HMODULE mModule = nullptr;
};

std::string Clsid(REFCLSID inClsid)
{
    return "CLSID\\" + GuidText(inClsid);
}

std::string ModulePath()
{
    char thePath[PATH_MAX];
    return realpath(FERROLIFT_MODULE_PATH, thePath) != nullptr ? thePath : FERROLIFT_MODULE_PATH;
}

TEST_F(RegistrationTest, RegistersEveryClassAndTheTypeLibrary)
{
    ASSERT_EQ(Call("DllRegisterServer"), S_OK);

    EXPECT_EQ(ReadRegistryString(HKEY_CLASSES_ROOT, "Ferrolift4.XForm.4"), "XForm Class");
    EXPECT_EQ(ReadRegistryString(HKEY_CLASSES_ROOT, "Ferrolift4.XForm.4\\CLSID"), GuidText(CLSID_XForm));
    EXPECT_EQ(ReadRegistryString(HKEY_CLASSES_ROOT, "Ferrolift4.XFields"), "XFields Class");
    EXPECT_EQ(ReadRegistryString(HKEY_CLASSES_ROOT, "Ferrolift4.XFields\\CurVer"), "Ferrolift4.XFields.4");
    const std::string theKey = Clsid(CLSID_XProgress);
    EXPECT_EQ(ReadRegistryString(HKEY_CLASSES_ROOT, theKey), "XProgress Class");
    EXPECT_EQ(ReadRegistryString(HKEY_CLASSES_ROOT, theKey + "\\ProgID"), "Ferrolift4.XProgress.4");
    EXPECT_EQ(ReadRegistryString(HKEY_CLASSES_ROOT, theKey + "\\VersionIndependentProgID"), "Ferrolift4.XProgress");
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, theKey + "\\Programmable"));
    EXPECT_EQ(ReadRegistryString(HKEY_CLASSES_ROOT, theKey + "\\InprocServer32"), ModulePath());
    EXPECT_EQ(ReadRegistryString(HKEY_CLASSES_ROOT, theKey + "\\InprocServer32", "ThreadingModel"), "Both");
    EXPECT_EQ(ReadRegistryString(HKEY_CLASSES_ROOT, theKey + "\\TypeLib"), GuidText(LIBID_Ferrolift4));

    LPOLESTR theProgId = nullptr;
    ASSERT_EQ(ProgIDFromCLSID(CLSID_XForm, &theProgId), S_OK);
    EXPECT_EQ(std::u16string(theProgId), u"Ferrolift4.XForm.4");
    CoTaskMemFree(theProgId);

    const std::string theLibrary = "TypeLib\\" + GuidText(LIBID_Ferrolift4) + "\\4.0";
    EXPECT_EQ(ReadRegistryString(HKEY_CLASSES_ROOT, theLibrary), "Ferrolift ASP Extension");
    EXPECT_EQ(ReadRegistryString(HKEY_CLASSES_ROOT, theLibrary + "\\0\\win32"), ModulePath());
    EXPECT_EQ(ReadRegistryString(HKEY_CLASSES_ROOT, theLibrary + "\\HELPDIR"),
              ModulePath().substr(0, ModulePath().rfind('/')));
    EXPECT_EQ(ReadRegistryString(HKEY_CLASSES_ROOT, "Interface\\" + GuidText(IID_IXField)), "IXField");

    EXPECT_EQ(ReadRegistryString(HKEY_LOCAL_MACHINE, kSettingsKey, "ModulePath"), ModulePath());
    EXPECT_EQ(mMachine.CountEvents("Ferrolift Registered Successfully"), 1);
    EXPECT_EQ(ReadRegistryString(HKEY_LOCAL_MACHINE,
                                 "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\Ferrolift",
                                 "EventMessageFile"),
              ModulePath());
}

TEST_F(RegistrationTest, RegistrationReplacesAnOldClassKey)
{
    SetKeyValue(HKEY_CLASSES_ROOT, Clsid(CLSID_XForm) + "\\Stale", nullptr, "left over");
    ASSERT_EQ(Call("DllRegisterServer"), S_OK);
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, Clsid(CLSID_XForm) + "\\Stale"));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, Clsid(CLSID_XForm) + "\\InprocServer32"));
}

TEST_F(RegistrationTest, EveryClassActivatesByProgIdAndAnswersByName)
{
    ASSERT_EQ(Call("DllRegisterServer"), S_OK);
    const auto& theLibrary = FerroliftTypeLibrary();
    for (const auto& theClass : theLibrary.coclasses) {
        for (const std::string theSuffix : {"", ".4"}) {
            const std::string theName = std::string("Ferrolift4.") + theClass.name + theSuffix;
            const std::u16string theProgId(theName.begin(), theName.end());
            CLSID theClsid;
            ASSERT_EQ(CLSIDFromProgID(theProgId.c_str(), &theClsid), S_OK) << theName;
            EXPECT_TRUE(IsEqualCLSID(theClsid, *theClass.clsid));
            ComPtr<IDispatch> theObject;
            ASSERT_EQ(CoCreateInstance(theClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, theObject.put_void()),
                      S_OK)
                << theName;
            for (const auto& theMember : theClass.defaultInterface->members) {
                std::u16string theLower;
                for (const char* p = theMember.name; *p != '\0'; ++p)
                    theLower += static_cast<char16_t>(std::tolower(static_cast<unsigned char>(*p)));
                LPOLESTR theNames[1] = {theLower.data()};
                DISPID theId = DISPID_UNKNOWN;
                EXPECT_EQ(theObject->GetIDsOfNames(IID_NULL, theNames, 1, LOCALE_USER_DEFAULT, &theId), S_OK);
                EXPECT_EQ(theId, theMember.id) << theName << "." << theMember.name;
            }
            LPOLESTR theUnknown[1] = {const_cast<LPOLESTR>(u"NoSuchMember")};
            DISPID theId = 0;
            EXPECT_EQ(theObject->GetIDsOfNames(IID_NULL, theUnknown, 1, LOCALE_USER_DEFAULT, &theId),
                      DISP_E_UNKNOWNNAME);
            EXPECT_EQ(Call("DllCanUnloadNow"), S_FALSE) << "a live object holds the module";
        }
    }
    EXPECT_EQ(Call("DllCanUnloadNow"), S_OK);
}

TEST_F(RegistrationTest, UnregistrationRemovesClassesButKeepsSettings)
{
    ASSERT_EQ(Call("DllRegisterServer"), S_OK);
    ASSERT_EQ(Call("DllUnregisterServer"), S_OK);
    for (const char* theProgId : {"Ferrolift4.XForm", "Ferrolift4.XForm.4", "Ferrolift4.XProgress.4"})
        EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, theProgId)) << theProgId;
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, Clsid(CLSID_XField)));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, "CLSID"));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "TypeLib\\" + GuidText(LIBID_Ferrolift4)));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "Interface\\" + GuidText(IID_IXForm)));
    EXPECT_EQ(ReadRegistryString(HKEY_LOCAL_MACHINE, kSettingsKey, "ModulePath"), ModulePath());
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\Ferrolift"));

    EXPECT_EQ(Call("DllUnregisterServer"), S_OK) << "nothing left to remove is no failure";
    CLSID theClsid;
    EXPECT_NE(CLSIDFromProgID(u"Ferrolift4.XForm", &theClsid), S_OK);
}

TEST(ExportsTest, TheModuleExportsExactlyTheFourEntryPoints)
{
    const std::string theCommand = std::string("nm -D --defined-only '") + FERROLIFT_MODULE_PATH + "'";
    FILE* thePipe = popen(theCommand.c_str(), "r");
    ASSERT_NE(thePipe, nullptr);
    std::set<std::string> theNames;
    char theLine[512];
    while (std::fgets(theLine, sizeof theLine, thePipe) != nullptr) {
        char theAddress[64], theType[8], theName[400];
        if (std::sscanf(theLine, "%63s %7s %399s", theAddress, theType, theName) == 3)
            theNames.insert(theName);
    }
    ASSERT_EQ(pclose(thePipe), 0);
    EXPECT_EQ(theNames, (std::set<std::string>{"DllCanUnloadNow", "DllGetClassObject", "DllRegisterServer",
                                                "DllUnregisterServer"}));
}

}  // namespace
