// The progress object as a progress page uses it: figures of the worked examples, note
// cleaning and cutting, record lifetime, and access by name through IDispatch.
#include "progress/XProgress.h"

#include <gtest/gtest.h>

#include <string>

#include "common/FakeTicks.h"
#include "progress/ProgressRegistry.h"
#include "common/ScratchMachine.h"
#include "platform/common/ComPtr.h"
#include "platform/common/UniqueBstr.h"
#include "platform/common/UniqueVariant.h"

namespace {

struct FigureCase {
    LONG done, total;
    DWORD elapsed;
    bool finished;
    LONG percent, elapsedSeconds, secondsLeft, bytesPerSecond;
};

TEST(ProgressFiguresTest, WorkedExamples)
{
    const FigureCase theCases[] = {
        {0, 0, 0, false, 0, 0, 0, 0},                     // nothing known yet
        {500, 1000, 2000, false, 47, 2, 2, 249},          // 47.5 truncated
        {1000, 1000, 2000, false, 95, 2, 0, 499},         // all in, not finished
        {0, 0, 0, true, 100, 0, 0, 0},                    // empty body, finished
        {400, 1000, 2000, true, 38, 2, 3, 199},           // finished early: the counts rule
        {250000, 1000000, 5000, false, 23, 5, 15, 49999}, // the divisor is slightly above 5
        {10, 100, 999, false, 9, 0, 8, 10},               // under a second
        // Out of range becomes 0x80000000 rather than undefined behaviour.
        {1, 2000000000, 100000, false, 0, 100, static_cast<LONG>(0x80000000u), 0},
        {2000000000, 1, 1000, false, static_cast<LONG>(0x80000000u), 1, -1, 1999999905},
    };
    for (const FigureCase& theCase : theCases) {
        const ProgressReading theReading{theCase.done, theCase.total, theCase.elapsed, theCase.finished};
        SCOPED_TRACE(std::to_string(theCase.done) + "/" + std::to_string(theCase.total) + " after " +
                     std::to_string(theCase.elapsed) + " ms");
        EXPECT_EQ(PercentDone(theReading), theCase.percent);
        EXPECT_EQ(ElapsedSeconds(theReading), theCase.elapsedSeconds);
        EXPECT_EQ(SecondsLeft(theReading), theCase.secondsLeft);
        EXPECT_EQ(BytesPerSecond(theReading), theCase.bytesPerSecond);
    }
}

TEST(ProgressFiguresTest, CleanNoteBlanksWhatWouldBreakAScriptString)
{
    char theNote[] = "a\tb\nc\rd\"e'f\\g h/i";
    CleanNote(theNote);
    EXPECT_STREQ(theNote, "a b c d e f g h/i");
}

class XProgressTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(XProgress::CreateInstance(nullptr, IID_IXProgress, mProgress.put_void()), S_OK);
        ASSERT_EQ(mProgress->get_ID(&mID), S_OK);
        UnregisterProgress(mID);
    }
    void TearDown() override { UnregisterProgress(mID); }

    LONG Get(HRESULT (STDMETHODCALLTYPE IXProgress::*inGetter)(LONG*))
    {
        LONG theValue = -12345;
        EXPECT_EQ((mProgress.get()->*inGetter)(&theValue), S_OK);
        return theValue;
    }

    std::u16string Note()
    {
        UniqueBstr theNote;
        EXPECT_EQ(mProgress->get_Note(theNote.put()), S_OK);
        return theNote.get() == nullptr ? std::u16string() : std::u16string(theNote.get(), theNote.length());
    }

    ScratchMachine mMachine;
    FakeTicks mTicks{100000};
    ComPtr<IXProgress> mProgress;
    LONG mID = 0;
};

TEST_F(XProgressTest, NewObjectAnswersAsForAnIdWithoutRecord)
{
    EXPECT_GE(mID, 1);
    EXPECT_EQ(static_cast<DWORD>(mID) & 0x80008000u, 0u);
    EXPECT_EQ(Note(), u"Connecting...");
    VARIANT_BOOL theStarted = VARIANT_TRUE;
    EXPECT_EQ(mProgress->get_Started(&theStarted), S_OK);
    EXPECT_EQ(theStarted, VARIANT_FALSE);
    for (auto theGetter : {&IXProgress::get_BytesTotal, &IXProgress::get_BytesDone, &IXProgress::get_PercentDone,
                           &IXProgress::get_ElapsedSeconds, &IXProgress::get_SecondsLeft,
                           &IXProgress::get_BytesPerSecond})
        EXPECT_EQ(Get(theGetter), 0);
    // Creating and reading registered nothing.
    EXPECT_EQ(ProgressRegistry::Module().Count(), 0u);
}

TEST_F(XProgressTest, FollowsAnUploadToItsEnd)
{
    RegisterProgress(mID);
    SetProgressNote(mID, "Reading upload...");
    mTicks.Advance(5000);
    SetProgressBytes(mID, 250000, 1000000);
    VARIANT_BOOL theStarted = VARIANT_FALSE;
    EXPECT_EQ(mProgress->get_Started(&theStarted), S_OK);
    EXPECT_EQ(theStarted, VARIANT_TRUE);
    EXPECT_EQ(Get(&IXProgress::get_BytesDone), 250000);
    EXPECT_EQ(Get(&IXProgress::get_BytesTotal), 1000000);
    EXPECT_EQ(Get(&IXProgress::get_PercentDone), 23);
    EXPECT_EQ(Get(&IXProgress::get_ElapsedSeconds), 5);
    EXPECT_EQ(Get(&IXProgress::get_SecondsLeft), 15);
    EXPECT_EQ(Get(&IXProgress::get_BytesPerSecond), 49999);
    EXPECT_EQ(Note(), u"Reading upload...");

    SetProgressBytes(mID, 1000000, 1000000);
    EXPECT_EQ(Get(&IXProgress::get_PercentDone), 95);
    MarkProgressFinished(mID);
    EXPECT_EQ(Get(&IXProgress::get_PercentDone), 100);
    EXPECT_EQ(Get(&IXProgress::get_SecondsLeft), 0);
}

TEST_F(XProgressTest, NotesAreCleanedAndCutAtTheBufferSize)
{
    RegisterProgress(mID);
    SetProgressNote(mID, "He said \"it's C:\\temp\"\r\n\tdone");
    EXPECT_EQ(Note(), u"He said  it s C: temp    done");
    EXPECT_EQ(mMachine.CountEvents("Assertion Failed"), 0);

    SetProgressNote(mID, std::string(259, 'n').c_str());
    EXPECT_EQ(Note().size(), 259u);
    EXPECT_EQ(mMachine.CountEvents("Assertion Failed"), 0);

    SetProgressNote(mID, (std::string(258, 'x') + "\xE9" + std::string(41, 'y')).c_str());
    EXPECT_EQ(Note(), std::u16string(258, u'x') + u"\u00E9");
    EXPECT_EQ(mMachine.CountEvents("(len < inArraySize)"), 1);
}

TEST_F(XProgressTest, NotePutStoresAnsiTextWithoutRefreshingTheRecord)
{
    RegisterProgress(mID);
    UniqueBstr theText(SysAllocString(u"caf\u00E9 \u20AC"));
    EXPECT_EQ(mProgress->put_Note(theText.get()), S_OK);
    std::string theAnsi;
    GetProgress(mID, nullptr, nullptr, nullptr, nullptr, nullptr, &theAnsi);
    EXPECT_EQ(theAnsi, "caf\xE9 \x80");
    EXPECT_EQ(Note(), u"caf\u00E9 \u20AC");
    EXPECT_EQ(mProgress->put_Note(nullptr), S_OK);
    EXPECT_EQ(Note(), u"");

    // Putting notes alone does not keep a record alive; reading does.
    mTicks.Advance(60001);
    EXPECT_EQ(mProgress->put_Note(theText.get()), S_OK);
    UnregisterProgress(-1);
    EXPECT_EQ(Note(), u"Connecting...");
}

TEST_F(XProgressTest, PollingKeepsTheRecordAliveAndIdPutTouchesNothing)
{
    RegisterProgress(mID);
    for (int i = 0; i < 5; ++i) {
        mTicks.Advance(59000);
        Get(&IXProgress::get_PercentDone);
        UnregisterProgress(-1);
    }
    EXPECT_EQ(Note(), u"");

    const size_t theCount = ProgressRegistry::Module().Count();
    EXPECT_EQ(mProgress->put_ID(4242), S_OK);
    EXPECT_EQ(Get(&IXProgress::get_ID), 4242);
    EXPECT_EQ(Note(), u"Connecting...");
    EXPECT_EQ(Get(&IXProgress::get_BytesDone), 0);
    EXPECT_EQ(ProgressRegistry::Module().Count(), theCount);
    UnregisterProgress(4242);
}

/// Calls a member by name through IDispatch.
HRESULT InvokeByName(IDispatch* inDispatch, const char16_t* inName, WORD inFlags, VARIANT* inArg, VARIANT* outResult)
{
    DISPID theId = DISPID_UNKNOWN;
    LPOLESTR theNames[] = {const_cast<LPOLESTR>(inName)};
    HRESULT hr = inDispatch->GetIDsOfNames(IID_NULL, theNames, 1, LOCALE_USER_DEFAULT, &theId);
    if (FAILED(hr))
        return hr;
    DISPID thePut = DISPID_PROPERTYPUT;
    DISPPARAMS theParams{inArg, inArg != nullptr && inFlags == DISPATCH_PROPERTYPUT ? &thePut : nullptr,
                         inArg != nullptr ? 1u : 0u, inArg != nullptr && inFlags == DISPATCH_PROPERTYPUT ? 1u : 0u};
    EXCEPINFO theExcep{};
    UINT theArgErr = 0;
    return inDispatch->Invoke(theId, IID_NULL, LOCALE_USER_DEFAULT, inFlags, &theParams, outResult, &theExcep,
                              &theArgErr);
}

TEST_F(XProgressTest, ScriptsReachEveryPropertyByName)
{
    ComPtr<IDispatch> theDispatch;
    ASSERT_EQ(mProgress->QueryInterface(IID_IDispatch, theDispatch.put_void()), S_OK);

    // A page hands the ID over as text; it is coerced to a number.
    UniqueVariant theId;
    V_VT(theId.get()) = VT_BSTR;
    V_BSTR(theId.get()) = SysAllocString(u"7331");
    EXPECT_EQ(InvokeByName(theDispatch.get(), u"id", DISPATCH_PROPERTYPUT, theId.get(), nullptr), S_OK);
    RegisterProgress(7331);
    mTicks.Advance(2000);
    SetProgressBytes(7331, 500, 1000);

    UniqueVariant theNote;
    V_VT(theNote.get()) = VT_BSTR;
    V_BSTR(theNote.get()) = SysAllocString(u"Almost there");
    EXPECT_EQ(InvokeByName(theDispatch.get(), u"Note", DISPATCH_PROPERTYPUT, theNote.get(), nullptr), S_OK);

    struct Expected {
        const char16_t* name;
        LONG value;
    };
    const Expected theNumbers[] = {{u"ID", 7331},           {u"BytesTotal", 1000},    {u"BYTESDONE", 500},
                                   {u"PercentDone", 47},    {u"ElapsedSeconds", 2},   {u"SecondsLeft", 2},
                                   {u"bytespersecond", 249}};
    for (const Expected& theExpected : theNumbers) {
        UniqueVariant theResult;
        EXPECT_EQ(InvokeByName(theDispatch.get(), theExpected.name, DISPATCH_PROPERTYGET, nullptr, theResult.get()),
                  S_OK);
        EXPECT_EQ(V_VT(theResult.get()), VT_I4);
        EXPECT_EQ(V_I4(theResult.get()), theExpected.value);
    }
    UniqueVariant theStarted, theText;
    EXPECT_EQ(InvokeByName(theDispatch.get(), u"Started", DISPATCH_METHOD | DISPATCH_PROPERTYGET, nullptr,
                           theStarted.get()),
              S_OK);
    EXPECT_EQ(V_VT(theStarted.get()), VT_BOOL);
    EXPECT_EQ(V_BOOL(theStarted.get()), VARIANT_TRUE);
    EXPECT_EQ(InvokeByName(theDispatch.get(), u"note", DISPATCH_PROPERTYGET, nullptr, theText.get()), S_OK);
    ASSERT_EQ(V_VT(theText.get()), VT_BSTR);
    EXPECT_EQ(std::u16string(V_BSTR(theText.get())), u"Almost there");
    EXPECT_EQ(InvokeByName(theDispatch.get(), u"Percent", DISPATCH_PROPERTYGET, nullptr, nullptr),
              DISP_E_UNKNOWNNAME);
    UnregisterProgress(7331);
}

}  // namespace
