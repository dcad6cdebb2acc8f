#include <windows.h>

#include <gtest/gtest.h>

// The automation types must keep the 64-bit Windows layouts that compiled scripts and
// marshalled data rely on.
TEST(WindowsTypes, LayoutsMatchWindows)
{
    EXPECT_EQ(sizeof(LONG), 4u);
    EXPECT_EQ(sizeof(DWORD), 4u);
    EXPECT_EQ(sizeof(WCHAR), 2u);
    EXPECT_EQ(sizeof(GUID), 16u);
    EXPECT_EQ(sizeof(VARIANT), 24u);
    EXPECT_EQ(offsetof(VARIANT, n1.n2.n3), 8u);
    EXPECT_EQ(sizeof(DECIMAL), 16u);
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED), E_ACCESSDENIED);
    EXPECT_EQ(HRESULT_FROM_WIN32(0), S_OK);
}
