// DDX_Text of a CString on a SysIPAddress32 control, which keeps its four
// fields in child edits and is driven by its own messages.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include "framework/win/CDialogEx.h"
#include "framework/win/DDX_Text.h"
#include "tests/framework/win/TestDialogIds.h"
#include "tests/framework/win/WinTestSupport.h"

namespace {

class AddressDialog : public CDialogEx {
public:
    AddressDialog() : CDialogEx(IDD_TEST_FORM) {}
    CString address = L"10.1.2.3";

protected:
    void DoDataExchange(CDataExchange* pDX) override { DDX_Text(pDX, IDC_ADDRESS, address); }
};

class WinIpAddressExchange : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dialog.Create());
        control = ::GetDlgItem(dialog.m_hWnd, IDC_ADDRESS);
    }
    DWORD ShownAddress() const
    {
        DWORD shown = 0;
        ::SendMessageW(control, IPM_GETADDRESS, 0, reinterpret_cast<LPARAM>(&shown));
        return shown;
    }
    bool IsBlank() const { return ::SendMessageW(control, IPM_ISBLANK, 0, 0) != 0; }
    CString Write(const wchar_t* text)
    {
        dialog.address = text;
        dialog.UpdateData(FALSE);
        dialog.address = L"unread";
        dialog.UpdateData(TRUE);
        return dialog.address;
    }
    // The field's own edit; the control makes them left to right.
    HWND Field(int index) const
    {
        HWND field = ::GetWindow(control, GW_CHILD);
        for (int i = 0; i < index && field; ++i)
            field = ::GetWindow(field, GW_HWNDNEXT);
        return field;
    }

    MessageBoxRecorder boxes;
    AddressDialog dialog;
    HWND control = nullptr;
};

TEST_F(WinIpAddressExchange, DottedAddressFillsTheFourFields)
{
    EXPECT_EQ(ShownAddress(), static_cast<DWORD>(MAKEIPADDRESS(10, 1, 2, 3)));
    EXPECT_EQ(Write(L"192.168.0.254"), L"192.168.0.254");
    EXPECT_EQ(ShownAddress(), static_cast<DWORD>(MAKEIPADDRESS(192, 168, 0, 254)));
}

TEST_F(WinIpAddressExchange, ZeroFillsEveryFieldWithZero)
{
    EXPECT_EQ(Write(L"0"), L"0.0.0.0");
    EXPECT_FALSE(IsBlank());
}

TEST_F(WinIpAddressExchange, TextThatIsNoAddressLeavesTheFieldsBlank)
{
    EXPECT_EQ(Write(L""), L"0.0.0.0");
    EXPECT_TRUE(IsBlank());
    Write(L"10.1.2.3");
    EXPECT_EQ(Write(L"relay"), L"0.0.0.0");
    EXPECT_TRUE(IsBlank());
}

TEST_F(WinIpAddressExchange, BlankFieldsOfAPartlyFilledAddressReadAsZero)
{
    ::SendMessageW(control, IPM_CLEARADDRESS, 0, 0);
    ASSERT_NE(Field(2), nullptr);
    ::SetWindowTextW(Field(0), L"192");
    ::SetWindowTextW(Field(2), L"7");
    EXPECT_TRUE(dialog.UpdateData(TRUE));
    EXPECT_EQ(dialog.address, L"192.0.7.0");
}

}  // namespace
