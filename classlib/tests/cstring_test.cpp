#include "classlib/CString.h"

#include <gtest/gtest.h>

TEST(CString, CountedTextStopsAtFirstZero)
{
    const WCHAR text[] = {'A', 'B', 0, 'C'};
    EXPECT_EQ(CString(text, 4), CString(_T("AB")));
    EXPECT_EQ(CString(text, 1).GetLength(), 1);
}

TEST(CString, CompareIsOrdinalAndCaseSensitive)
{
    CString s(_T("abc"));
    EXPECT_EQ(s.Compare(_T("abc")), 0);
    EXPECT_NE(s.Compare(_T("ABC")), 0);
    EXPECT_LT(s.Compare(_T("abcd")), 0);
    EXPECT_GT(s.Compare(_T("ab")), 0);
    EXPECT_EQ(s.CompareNoCase(_T("ABC")), 0);
    EXPECT_GT(CString(_T("\xFF21")).Compare(_T("z")), 0);  // compared as code units
}

TEST(CString, SubstringsClampTheirBounds)
{
    CString s(_T("volume"));
    EXPECT_EQ(s.Left(3), CString(_T("vol")));
    EXPECT_EQ(s.Left(99), s);
    EXPECT_EQ(s.Mid(4), CString(_T("me")));
    EXPECT_EQ(s.Mid(2, 2), CString(_T("lu")));
    EXPECT_TRUE(s.Mid(9).IsEmpty());
    EXPECT_EQ(s.Right(2), CString(_T("me")));
    EXPECT_TRUE(s.Left(-1).IsEmpty());
}

TEST(CString, FindAndReplace)
{
    CString s(_T("a,b,,c"));
    EXPECT_EQ(s.Find(','), 1);
    EXPECT_EQ(s.Find(',', 2), 3);
    EXPECT_EQ(s.Find(_T(",,")), 3);
    EXPECT_EQ(s.ReverseFind(','), 4);
    EXPECT_EQ(s.Find('x'), -1);
    EXPECT_EQ(s.Replace(_T(","), _T(";;")), 3);
    EXPECT_EQ(s, CString(_T("a;;b;;;;c")));
    EXPECT_EQ(s.Remove(';'), 6);
    EXPECT_EQ(s, CString(_T("abc")));
}

TEST(CString, BufferReleaseCutsAtZero)
{
    CString s;
    WCHAR* p = s.GetBuffer(8);
    p[0] = 'h';
    p[1] = 'i';
    p[2] = 0;
    s.ReleaseBuffer();
    EXPECT_EQ(s, CString(_T("hi")));
}

TEST(CString, TrimAndCase)
{
    CString s(_T(" \tMixed Case\r\n"));
    s.Trim();
    EXPECT_EQ(s, CString(_T("Mixed Case")));
    EXPECT_EQ(CString(s).MakeUpper(), CString(_T("MIXED CASE")));
    EXPECT_EQ(CString(s).MakeLower(), CString(_T("mixed case")));
}
