#include <gtest/gtest.h>

#include "main_dlg.h"
#include "resource.h"
#include "sandbox.h"
#include "standin.h"

namespace {

struct DispatchCase : NamedCase {
    UINT uMsg;
    WPARAM wParam;
    INT_PTR nReturn;
    const char *pszBoxCaption;  // nullptr: no box
    bool fEnds;
};

class DispatchTest : public SandboxTest, public ::testing::WithParamInterface<DispatchCase> {};

TEST_P(DispatchTest, HandlesCommandsAndLeavesTheRestToTheDialogManager)
{
    const DispatchCase &c = GetParam();
    EXPECT_EQ(MainDlgProc(khDlg, c.uMsg, c.wParam, 0), c.nReturn);

    const auto &boxes = standin::g_state.vecBoxes;
    const auto &ends = standin::g_state.vecEnds;
    ASSERT_EQ(boxes.size(), c.pszBoxCaption ? 1u : 0u);
    for (const standin::MessageBoxCall &box : boxes)
        EXPECT_EQ(box.strCaption, c.pszBoxCaption);
    EXPECT_EQ(standin::g_state.nDialogLayouts, c.uMsg == WM_INITDIALOG ? 1 : 0);
    ASSERT_EQ(ends.size(), c.fEnds ? 1u : 0u);
    if (c.fEnds) {
        EXPECT_EQ(ends[0].hDlg, khDlg);
        EXPECT_EQ(ends[0].nResult, 2);
    }
}

const UINT kWmClose = 0x0010, kWmPaint = 0x000F;

WPARAM Command(WORD wId, WORD wNotify = 0 /* BN_CLICKED */)
{
    return static_cast<WPARAM>(wId) | (static_cast<WPARAM>(wNotify) << 16);
}

INSTANTIATE_TEST_SUITE_P(Messages, DispatchTest, ::testing::Values(
    DispatchCase{"InitDialogLetsFocusDefault", WM_INITDIALOG, 0, TRUE, nullptr, false},
    // Not installed, in this sandbox.
    DispatchCase{"Install", WM_COMMAND, Command(IDC_INSTALL), TRUE, "Chyba", true},
    DispatchCase{"About", WM_COMMAND, Command(IDC_ABOUT), TRUE, "O projektu", false},
    DispatchCase{"Exit", WM_COMMAND, Command(IDC_EXIT), TRUE, nullptr, true},
    DispatchCase{"EscOrClose", WM_COMMAND, Command(IDCANCEL), TRUE, nullptr, true},
    DispatchCase{"HighWordIgnored", WM_COMMAND, Command(IDC_EXIT, 0x0100), TRUE, nullptr, true},
    DispatchCase{"UnknownCommandHandledButIgnored", WM_COMMAND, Command(1003), TRUE, nullptr, false},
    DispatchCase{"IdOkIgnored", WM_COMMAND, Command(IDOK), TRUE, nullptr, false},
    DispatchCase{"CloseLeftToDialogManager", kWmClose, 0, FALSE, nullptr, false},
    DispatchCase{"PaintLeftToDialogManager", kWmPaint, 0, FALSE, nullptr, false}),
    ::testing::PrintToStringParamName());

// Exactly the credits file the build made from the texts file, as the
// player reads it: a line lost, added or garbled on the way shows here.
TEST_F(SandboxTest, AboutOpensRepeatedlyWithoutEndingTheDialog)
{
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(MainDlgProc(khDlg, WM_COMMAND, IDC_ABOUT, 0), TRUE);
    EXPECT_EQ(standin::g_state.vecBoxes.size(), 3u);
    for (const standin::MessageBoxCall &box : standin::g_state.vecBoxes) {
        EXPECT_EQ(box.strText, ReadFile(CREDITS_FILE));
        EXPECT_EQ(box.uType, 0u) << "MB_OK, no icon";
        EXPECT_EQ(box.hwndOwner, nullptr);
    }
    EXPECT_TRUE(standin::g_state.vecEnds.empty());
}

// Should a system lack code page 1250, a box with the bytes as they are is
// still better than none: a Czech Windows reads them right.
TEST_F(SandboxTest, AboutFallsBackToTheBytesWhenTheyCannotBeConverted)
{
    standin::g_state.fConversionFails = true;
    standin::g_state.uAnsiCodePage = 1250;

    MainDlgProc(khDlg, WM_COMMAND, IDC_ABOUT, 0);

    ASSERT_EQ(standin::g_state.vecBoxes.size(), 1u);
    EXPECT_EQ(standin::g_state.vecBoxes[0].strText, ReadFile(CREDITS_FILE));
    EXPECT_EQ(standin::g_state.vecBoxes[0].strCaption, "O projektu");
}

}
