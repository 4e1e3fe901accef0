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
    if (c.fKey)
        standin::AddKey(GAME_KEY);
    if (c.strStored)
        SetGamePath(*c.strStored);

    ReadGamePath();

    ASSERT_NE(memchr(g_szGamePath, '\0', sizeof g_szGamePath), nullptr);
    EXPECT_EQ(std::string(g_szGamePath), c.strExpected);
    EXPECT_EQ(standin::g_state.mapKeys.size(), c.fKey ? 1u : 0u) << "the lookup must never create a key";
}

const std::string k255(255, 'g');

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
    LookupCase{"NulInsideStopsThere", true, "C:\\Hra" + kNul + "junk" + kNul, "C:\\Hra"}),
    ::testing::PrintToStringParamName());

// Two lookups in a row: the second sees only what the registry holds then,
// and neither shows anything itself.
struct TwoLookupsCase : NamedCase {
    std::optional<std::string> strFirst, strSecond;  // the value's bytes; nullopt: no key
    std::string strExpected;                         // the game folder after the second
};

class TwoLookupsTest : public ::testing::TestWithParam<TwoLookupsCase> {};

TEST_P(TwoLookupsTest, SecondSeesTheRegistryAsItIsThen)
{
    const TwoLookupsCase &c = GetParam();
    auto Lookup = [](const std::optional<std::string> &strStored) {
        standin::Reset();
        if (strStored)
            SetGamePath(*strStored);
        ReadGamePath();
        EXPECT_TRUE(standin::g_state.vecBoxes.empty());
        EXPECT_TRUE(standin::g_state.vecEnds.empty());
    };
    Lookup(c.strFirst);
    ASSERT_STREQ(g_szGamePath, c.strFirst.value_or("").c_str());  // the value up to its NUL
    Lookup(c.strSecond);
    EXPECT_EQ(std::string(g_szGamePath), c.strExpected);
}

const std::string k200 = "C:\\" + std::string(200, 'x');

INSTANTIATE_TEST_SUITE_P(GamePath, TwoLookupsTest, ::testing::Values(
    TwoLookupsCase{"ShortValueDoesNotLimitTheNext", "C:\\A" + kNul, k200 + kNul, k200},
    TwoLookupsCase{"KeyRemovedEmptiesTheFolder", "C:\\A" + kNul, std::nullopt, ""},
    TwoLookupsCase{"KeyAddedIsFound", std::nullopt, "C:\\A" + kNul, "C:\\A"}),
    ::testing::PrintToStringParamName());

}
