// Query and form collections: names are matched ignoring ASCII case over their whole
// length, so a decoded NUL inside a name does not make two names one.
#include "host/ValueCollection.h"

#include <gtest/gtest.h>

using ferrolift::host::ValueCollection;

TEST(ValueCollection, NamesDifferingAfterADecodedNulStaySeparate)
{
    ValueCollection theQuery;
    theQuery.ParseUrlEncoded("a%00x=1&A%00y=2&a%00X=3");
    ASSERT_EQ(theQuery.Count(), 2u);
    EXPECT_EQ(theQuery.NameAt(0), std::string("a\0x", 3));
    EXPECT_EQ(theQuery.ValuesAt(0), (ValueCollection::Values{"1", "3"}));
    EXPECT_EQ(theQuery.ValuesAt(1), (ValueCollection::Values{"2"}));
    const ValueCollection::Values* theFound = theQuery.Find(std::string("a\0Y", 3));
    ASSERT_NE(theFound, nullptr);
    EXPECT_EQ(*theFound, (ValueCollection::Values{"2"}));
    EXPECT_EQ(theQuery.Find(std::string("a\0z", 3)), nullptr);
}

TEST(ValueCollection, CaseFoldingIsAsciiOnly)
{
    ValueCollection theForm;
    theForm.ParseUrlEncoded("%C3%84=1&%C3%A4=2&Tag=3&tAG=4");
    ASSERT_EQ(theForm.Count(), 3u);   // "Ä" and "ä" are different bytes, not a case pair
    ASSERT_NE(theForm.Find("TAG"), nullptr);
    EXPECT_EQ(*theForm.Find("TAG"), (ValueCollection::Values{"3", "4"}));
}

// A form body may hold a hundred thousand distinct names; every one stays reachable, and
// parsing it must not cost the square of the count (a quadratic parse takes minutes here).
TEST(ValueCollection, ManyDistinctNamesStayReachable)
{
    std::string theBody;
    constexpr int kNames = 100000;
    for (int i = 0; i < kNames; ++i)
        theBody += "n" + std::to_string(i) + "=" + std::to_string(i) + "&";
    ValueCollection theForm;
    theForm.ParseUrlEncoded(theBody);
    ASSERT_EQ(theForm.Count(), static_cast<std::size_t>(kNames));
    EXPECT_EQ(theForm.NameAt(kNames - 1), "n99999");
    ASSERT_NE(theForm.Find("N54321"), nullptr);
    EXPECT_EQ(*theForm.Find("N54321"), (ValueCollection::Values{"54321"}));
}
