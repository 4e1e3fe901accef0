#include <cstring>

#include <gtest/gtest.h>

#include "game_path.h"
#include "sandbox.h"
#include "standin.h"

namespace {

struct LookupCase : NamedCase {
    bool fKey;
    std::optional<std::string> strStored;  // the value's bytes as the registry holds them; nullopt: none
    std::string strExpected;               // the game folder afterwards
    // A lookup just before, which found this folder ("": no key) and whose key
    // is then gone; none if null, and the folder holds an earlier run's leftovers.
    const char *pszEarlier = nullptr;
};

class GamePathTest : public ::testing::TestWithParam<LookupCase> {
protected:
    void SetUp() override
    {
        standin::Reset();
        // Leftovers from an earlier lookup, which must neither survive a
        // failed one nor show through after a short value.
        memset(g_szGamePath, 'J', sizeof g_szGamePath - 1);
        g_szGamePath[sizeof g_szGamePath - 1] = '\0';
        g_cbGamePath = 5;
    }
    void TearDown() override { EXPECT_TRUE(standin::g_state.setOpenKeys.empty()); }
};

TEST_P(GamePathTest, LeavesATerminatedFolderOfAtMost255Chars)
{
    const LookupCase &c = GetParam();
    if (c.pszEarlier) {
        if (*c.pszEarlier)
            SetGamePath(c.pszEarlier + kNul);
        ReadGamePath();
        ASSERT_STREQ(g_szGamePath, c.pszEarlier);
        standin::g_state.mapKeys.clear();
    }
    if (c.fKey)
        standin::AddKey(GAME_KEY);
    if (c.strStored)
        SetGamePath(*c.strStored);

    ReadGamePath();

    ASSERT_NE(memchr(g_szGamePath, '\0', sizeof g_szGamePath), nullptr);
    EXPECT_EQ(std::string(g_szGamePath), c.strExpected);
    EXPECT_EQ(standin::g_state.mapKeys.size(), c.fKey ? 1u : 0u) << "the lookup must never create a key";
    EXPECT_TRUE(standin::g_state.vecBoxes.empty());
    EXPECT_TRUE(standin::g_state.vecEnds.empty());
}

const std::string k255(255, 'g'), k200 = "C:\\" + std::string(200, 'x');

INSTANTIATE_TEST_SUITE_P(Registry, GamePathTest, ::testing::Values(
    LookupCase{"NoKey", false, std::nullopt, ""},
    LookupCase{"KeyWithoutValue", true, std::nullopt, ""},
    LookupCase{"Typical", true, "C:\\Hry\\Duneveil" + kNul, "C:\\Hry\\Duneveil"},
    LookupCase{"EmptyValue", true, "", ""},
    LookupCase{"ValueWithoutNul", true, "C:\\Hry\\Duneveil", "C:\\Hry\\Duneveil"},
    LookupCase{"Exactly255UsedWhole", true, k255 + kNul, k255},
    LookupCase{"Exactly255WithoutNul", true, k255, k255},
    LookupCase{"256WithoutNulDoesNotFit", true, k255 + "h", ""},
    LookupCase{"TooLongDoesNotFit", true, std::string(300, 'g') + kNul, ""},
    LookupCase{"NulInsideStopsThere", true, "C:\\Hra" + kNul + "junk" + kNul, "C:\\Hra"},
    // Each lookup sees only what the registry holds then.
    LookupCase{"ShortValueDoesNotLimitTheNext", true, k200 + kNul, k200, "C:\\A"},
    LookupCase{"KeyRemovedEmptiesTheFolder", false, std::nullopt, "", "C:\\A"},
    LookupCase{"KeyAddedIsFound", true, "C:\\A" + kNul, "C:\\A", ""}),
    ::testing::PrintToStringParamName());

}
