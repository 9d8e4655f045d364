// UpdateData and DDX_Text on real edit controls: both directions, and what
// a field that does not parse does to the exchange.
#include <gtest/gtest.h>

#include "framework/win/CDialogEx.h"
#include "framework/win/DDX_Text.h"
#include "tests/framework/win/TestDialogIds.h"
#include "tests/framework/win/WinTestSupport.h"

namespace {

class FormDialog : public CDialogEx {
public:
    FormDialog() : CDialogEx(IDD_TEST_FORM) {}
    CString text = L"你好";
    int number = -42;
    double ratio = 12.5;
    int laterNumber = 0;

protected:
    void DoDataExchange(CDataExchange* pDX) override
    {
        DDX_Text(pDX, IDC_TEXT, text);
        DDX_Text(pDX, IDC_INT, number);
        DDX_Text(pDX, IDC_DOUBLE, ratio);
        DDX_Text(pDX, IDC_LATER_INT, laterNumber);
    }
};

class MissingFieldDialog : public CDialogEx {
public:
    MissingFieldDialog() : CDialogEx(IDD_TEST_FORM) {}
    int number = 5;

protected:
    void DoDataExchange(CDataExchange* pDX) override
    {
        DDX_Text(pDX, IDC_MISSING, number);
        DDX_Text(pDX, IDC_INT, number);
    }
};

class WinDataExchange : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dialog.Create()); }
    CString Text(int id)
    {
        CString text;
        dialog.GetDlgItemText(id, text);
        return text;
    }
    void Type(int id, const wchar_t* text) { ::SetDlgItemTextW(dialog.m_hWnd, id, text); }
    void TypeAll(const wchar_t* text, const wchar_t* number, const wchar_t* ratio, const wchar_t* later)
    {
        Type(IDC_TEXT, text);
        Type(IDC_INT, number);
        Type(IDC_DOUBLE, ratio);
        Type(IDC_LATER_INT, later);
    }

    MessageBoxRecorder boxes;
    FormDialog dialog;
};

TEST_F(WinDataExchange, OpeningTheDialogWritesTheMembersIntoTheFields)
{
    EXPECT_EQ(Text(IDC_TEXT), L"你好");
    EXPECT_EQ(Text(IDC_INT), L"-42");
    EXPECT_EQ(Text(IDC_DOUBLE), L"12.5");
    EXPECT_EQ(Text(IDC_LATER_INT), L"0");
}

TEST_F(WinDataExchange, NumbersAreWrittenInTheirShortExactForm)
{
    dialog.ratio = 0.0;
    dialog.number = -2147483647 - 1;
    dialog.UpdateData(FALSE);
    EXPECT_EQ(Text(IDC_DOUBLE), L"0");
    EXPECT_EQ(Text(IDC_INT), L"-2147483648");
    dialog.ratio = 0.1;
    dialog.UpdateData(FALSE);
    EXPECT_EQ(Text(IDC_DOUBLE), L"0.1");
}

TEST_F(WinDataExchange, ReadingTakesEveryFieldBackIntoItsMember)
{
    TypeAll(L"10.0.0.1 中继", L" 8080 ", L"2.75", L"-3");
    EXPECT_TRUE(dialog.UpdateData(TRUE));
    EXPECT_EQ(dialog.text, L"10.0.0.1 中继");
    EXPECT_EQ(dialog.number, 8080);
    EXPECT_DOUBLE_EQ(dialog.ratio, 2.75);
    EXPECT_EQ(dialog.laterNumber, -3);
    EXPECT_TRUE(boxes.Boxes().empty());
}

TEST_F(WinDataExchange, TextInAnIntegerFieldStopsTheExchangeThere)
{
    TypeAll(L"earlier", L"12abc", L"9.5", L"77");
    EXPECT_FALSE(dialog.UpdateData(TRUE));
    ASSERT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].text, L"测试：请输入一个整数。");  // the program's own words
    EXPECT_EQ(dialog.text, L"earlier");  // before the bad field: taken
    EXPECT_EQ(dialog.number, -42);       // the bad field and the later ones: kept
    EXPECT_DOUBLE_EQ(dialog.ratio, 12.5);
    EXPECT_EQ(dialog.laterNumber, 0);
}

TEST_F(WinDataExchange, FailedFieldGetsTheFocusWithItsTextSelected)
{
    Type(IDC_INT, L"12abc");
    dialog.UpdateData(TRUE);
    EXPECT_EQ(::GetFocus(), ::GetDlgItem(dialog.m_hWnd, IDC_INT));
    DWORD start = 1, end = 0;
    ::SendDlgItemMessageW(dialog.m_hWnd, IDC_INT, EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                          reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(start, 0u);
    EXPECT_EQ(end, 5u);
}

TEST_F(WinDataExchange, TextInANumberFieldShowsTheNumberPrompt)
{
    TypeAll(L"x", L"5", L"1.2.3", L"77");
    EXPECT_FALSE(dialog.UpdateData(TRUE));
    ASSERT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].text, L"测试：请输入一个数字。");
    EXPECT_EQ(dialog.number, 5);
    EXPECT_DOUBLE_EQ(dialog.ratio, 12.5);
    EXPECT_EQ(dialog.laterNumber, 0);
}

TEST_F(WinDataExchange, OkEndsTheDialogOnlyOnceEveryFieldPasses)
{
    Type(IDC_INT, L"many");
    dialog.OnOK();
    EXPECT_FALSE(dialog.GetEndResult().has_value());
    Type(IDC_INT, L"12");
    dialog.OnOK();
    EXPECT_EQ(dialog.GetEndResult(), IDOK);
    EXPECT_EQ(dialog.number, 12);
}

TEST(WinDataExchangeMissingControl, FailsTheExchangeWithoutAPromptOrAChange)
{
    MessageBoxRecorder boxes;
    MissingFieldDialog dialog;
    ASSERT_TRUE(dialog.Create());
    ::SetDlgItemTextW(dialog.m_hWnd, IDC_INT, L"9");
    EXPECT_FALSE(dialog.UpdateData(TRUE));
    EXPECT_EQ(dialog.number, 5);
    EXPECT_TRUE(boxes.Boxes().empty());
}

}  // namespace
