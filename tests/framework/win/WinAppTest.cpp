// The application object: AfxWinMain's two ways to end, and the message
// boxes that carry the application's name.
#include <gtest/gtest.h>

#include "framework/win/CWinApp.h"
#include "framework/win/ResourceModule.h"
#include "tests/framework/win/TestDialogIds.h"
#include "tests/framework/win/WinTestSupport.h"

namespace {

class CountingApp : public CWinApp {
public:
    explicit CountingApp(BOOL initResult, int quitCode = 0) : m_initResult(initResult), m_quitCode(quitCode) {}
    int inits = 0;
    int exits = 0;

    BOOL InitInstance() override
    {
        ++inits;
        if (m_initResult)
            ::PostQuitMessage(m_quitCode);
        return m_initResult;
    }
    int ExitInstance() override
    {
        ++exits;
        return CWinApp::ExitInstance();
    }

private:
    BOOL m_initResult;
    int m_quitCode;
};

TEST(WinApplication, DecliningInitInstanceEndsTheProgramWithZero)
{
    CountingApp app(FALSE);
    const HINSTANCE instance = ::GetModuleHandleW(nullptr);
    EXPECT_EQ(AfxWinMain(instance, nullptr, const_cast<LPWSTR>(L""), SW_SHOW), 0);
    EXPECT_EQ(app.m_hInstance, instance);
    EXPECT_EQ(app.inits, 1);
    EXPECT_EQ(app.exits, 1);
}

TEST(WinApplication, AcceptingInitInstanceRunsTheLoopUntilQuit)
{
    CountingApp app(TRUE, 7);
    EXPECT_EQ(AfxWinMain(::GetModuleHandleW(nullptr), nullptr, const_cast<LPWSTR>(L""), SW_SHOW), 7);
    EXPECT_EQ(app.exits, 1);
}

TEST(WinApplication, MessageBoxTextComesFromTheStringTable)
{
    MessageBoxRecorder boxes(IDYES);
    CountingApp app(FALSE);
    EXPECT_EQ(AfxMessageBox(IDS_TEST_PROMPT, MB_YESNO), IDYES);
    ASSERT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].text, L"端口已被占用。");
    EXPECT_EQ(boxes.Boxes()[0].type, static_cast<UINT>(MB_YESNO));
}

TEST(WinApplication, FormattedStringFillsItsPlaceholdersInAnyOrder)
{
    EXPECT_EQ(AfxFormatString(IDS_TEST_FORMAT, {L"5000", L"4000", L"%1"}), L"从 4000 到 5000，%1 不变。");
    // Too few values: what is missing stays visible instead of failing.
    EXPECT_EQ(AfxFormatString(IDS_TEST_FORMAT, {L"5000"}), L"从 %2 到 5000，%3 不变。");
    EXPECT_EQ(AfxLoadString(9999, L"fallback"), L"fallback");
}

TEST(WinApplication, MessageBoxCaptionIsTheExecutablesName)
{
    MessageBoxRecorder boxes;
    AfxMessageBox(L"without an app");
    {
        CountingApp app(FALSE);
        AfxMessageBox(L"with an app");
    }
    ASSERT_EQ(boxes.Boxes().size(), 2u);
    EXPECT_EQ(boxes.Boxes()[0].caption, L"dulvet_win_tests");
    EXPECT_EQ(boxes.Boxes()[1].caption, L"dulvet_win_tests");
}

}  // namespace
