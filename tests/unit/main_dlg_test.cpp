#include <string>

#include <gtest/gtest.h>

#include "main_dlg.h"
#include "resource.h"
#include "sandbox.h"
#include "standin.h"

namespace {

enum Effect { kNothing, kEnds, kAbout, kNotInstalledAndEnds };

struct DispatchCase {
    const char *pszName;
    UINT uMsg;
    WPARAM wParam;
    INT_PTR nReturn;
    Effect effect;
};

void PrintTo(const DispatchCase &c, std::ostream *pos)
{
    *pos << c.pszName;
}

class DispatchTest : public SandboxTest, public ::testing::WithParamInterface<DispatchCase> {};

TEST_P(DispatchTest, HandlesCommandsAndLeavesTheRestToTheDialogManager)
{
    const DispatchCase &c = GetParam();
    EXPECT_EQ(MainDlgProc(khDlg, c.uMsg, c.wParam, 0), c.nReturn);

    const auto &boxes = standin::g_state.vecBoxes;
    const auto &ends = standin::g_state.vecEnds;
    switch (c.effect) {
    case kNothing:
        EXPECT_TRUE(boxes.empty());
        EXPECT_TRUE(ends.empty());
        break;
    case kEnds:
        EXPECT_TRUE(boxes.empty());
        ASSERT_EQ(ends.size(), 1u);
        EXPECT_EQ(ends[0].hDlg, khDlg);
        EXPECT_EQ(ends[0].nResult, 2);
        break;
    case kAbout:
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(Cp1250(boxes[0].strText), g_szCredits);
        EXPECT_EQ(boxes[0].strCaption, "O projektu");
        EXPECT_EQ(boxes[0].uType, 0u) << "MB_OK, no icon";
        EXPECT_EQ(boxes[0].hwndOwner, nullptr);
        EXPECT_TRUE(ends.empty()) << "About must not end the dialog";
        break;
    case kNotInstalledAndEnds:
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].strCaption, "Chyba");
        ASSERT_EQ(ends.size(), 1u);
        EXPECT_EQ(ends[0].nResult, 2);
        break;
    }
}

const UINT kWmClose = 0x0010, kWmPaint = 0x000F;
const WPARAM kBnClicked = 0;

WPARAM Command(WORD wId, WORD wNotify = kBnClicked)
{
    return static_cast<WPARAM>(wId) | (static_cast<WPARAM>(wNotify) << 16);
}

INSTANTIATE_TEST_SUITE_P(Messages, DispatchTest, ::testing::Values(
    DispatchCase{"InitDialogLetsFocusDefault", WM_INITDIALOG, 0, TRUE, kNothing},
    DispatchCase{"Install", WM_COMMAND, Command(IDC_INSTALL), TRUE, kNotInstalledAndEnds},
    DispatchCase{"About", WM_COMMAND, Command(IDC_ABOUT), TRUE, kAbout},
    DispatchCase{"Exit", WM_COMMAND, Command(IDC_EXIT), TRUE, kEnds},
    DispatchCase{"EscOrClose", WM_COMMAND, Command(IDCANCEL), TRUE, kEnds},
    DispatchCase{"HighWordIgnored", WM_COMMAND, Command(IDC_EXIT, 0x0100), TRUE, kEnds},
    DispatchCase{"UnknownCommandHandledButIgnored", WM_COMMAND, Command(1003), TRUE, kNothing},
    DispatchCase{"IdOkIgnored", WM_COMMAND, Command(IDOK), TRUE, kNothing},
    DispatchCase{"CloseLeftToDialogManager", kWmClose, 0, FALSE, kNothing},
    DispatchCase{"PaintLeftToDialogManager", kWmPaint, 0, FALSE, kNothing}),
    [](const ::testing::TestParamInfo<DispatchCase> &info) { return std::string(info.param.pszName); });

TEST_F(SandboxTest, AboutOpensRepeatedlyWithoutEndingTheDialog)
{
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(MainDlgProc(khDlg, WM_COMMAND, IDC_ABOUT, 0), TRUE);
    EXPECT_EQ(standin::g_state.vecBoxes.size(), 3u);
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
    EXPECT_EQ(Cp1250(standin::g_state.vecBoxes[0].strText), g_szCredits);
    EXPECT_EQ(standin::g_state.vecBoxes[0].strCaption, "O projektu");
}

// Exactly the credits file the build made from the texts file, as the
// player reads it: a line lost, added or garbled on the way shows here.
TEST(Credits, AboutBoxShowsTheBuildsCreditsFile)
{
    standin::Reset();
    ASSERT_TRUE(FileExists(CREDITS_FILE)) << CREDITS_FILE;

    MainDlgProc(khDlg, WM_COMMAND, IDC_ABOUT, 0);

    ASSERT_EQ(standin::g_state.vecBoxes.size(), 1u);
    EXPECT_EQ(standin::g_state.vecBoxes[0].strText, ReadFile(CREDITS_FILE));
}

}
