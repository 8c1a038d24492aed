#include "kestrun/model/opc/Browser.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "BridgeFixture.h"

namespace {

using bridgetest::BridgeDevice;
using bridgetest::BridgeTest;

class BrowserTest : public BridgeTest {
protected:
    void SetUp() override
    {
        BridgeTest::SetUp();
        plc1 = AddDevice("PLC1", "A");
        words = AddBlock(plc1, "BLOCK1", "D100", BRISANT_WORD, 2, {"D100", "D101"});
        flags = AddBlock(plc1, "", "M0", BRISANT_BOOL, 2, {"MOTOR.RUN", "MOTOR.SPEED"});
        plc2 = AddDevice("PLC2", "B");
        texts = AddBlock(plc2, "", "D200", BRISANT_STRING, 1, {"NAME"});
        callback.SetDeviceMap(map.get());
        browser = callback.CreateBrowser();
    }

    std::vector<std::string> List(DWORD type, const std::string& filter = {}, VARTYPE vt = VT_EMPTY, DWORD access = 0)
    {
        std::vector<std::string> names;
        EXPECT_EQ(browser->BeginBrowse(type, filter, vt, access), S_OK);
        for (std::string name = browser->NextName(); !name.empty(); name = browser->NextName())
            names.push_back(name);
        return names;
    }

    BridgeDevice* plc1 = nullptr;
    BridgeDevice* plc2 = nullptr;
    CdsMemoryArray* words = nullptr;
    CdsMemoryArray* flags = nullptr;
    CdsMemoryArray* texts = nullptr;
    COPCBrowser* browser = nullptr;
};

using Names = std::vector<std::string>;

TEST_F(BrowserTest, OneBrowserPerCallback)
{
    EXPECT_EQ(callback.CreateBrowser(), browser);
    EXPECT_EQ(browser->QueryOrganization(), 1u);
}

TEST_F(BrowserTest, MovingUpAtTheRootFailsAndKeepsThePosition)
{
    EXPECT_FALSE(browser->MoveUp());
    EXPECT_EQ(List(CfsBrowser::BROWSE_BRANCHES), (Names{"PLC1", "PLC2"}));
}

TEST_F(BrowserTest, MovesDownIgnoringCaseAndBackUp)
{
    EXPECT_TRUE(browser->MoveDown("plc1"));
    EXPECT_EQ(List(CfsBrowser::BROWSE_BRANCHES), (Names{"BLOCK1", "MOTOR"}));
    EXPECT_TRUE(browser->MoveDown("Motor"));
    EXPECT_EQ(List(CfsBrowser::BROWSE_LEAVES), (Names{"RUN", "SPEED"}));
    EXPECT_EQ(browser->GetItemID("speed"), "PLC1.MOTOR.speed");
    EXPECT_FALSE(browser->MoveDown("NONE"));
    EXPECT_EQ(List(CfsBrowser::BROWSE_LEAVES), (Names{"RUN", "SPEED"}));
    EXPECT_TRUE(browser->MoveUp());
    EXPECT_TRUE(browser->MoveUp());
    EXPECT_FALSE(browser->MoveUp());
}

TEST_F(BrowserTest, FlatListingIsEveryItemIdDepthFirst)
{
    EXPECT_TRUE(browser->MoveDown("PLC1"));
    EXPECT_EQ(List(CfsBrowser::BROWSE_FLAT),
              (Names{"PLC1.BLOCK1.D100", "PLC1.BLOCK1.D101", "PLC1.MOTOR.RUN", "PLC1.MOTOR.SPEED", "PLC2.NAME"}));
    // A flat listing leaves the browser at the root.
    EXPECT_EQ(List(CfsBrowser::BROWSE_BRANCHES), (Names{"PLC1", "PLC2"}));
}

TEST_F(BrowserTest, FiltersNarrowTheListing)
{
    struct Case {
        DWORD type;
        const char* pattern;
        VARTYPE vt;
        DWORD access;
        Names expected;
    };
    const Case cases[] = {
        {CfsBrowser::BROWSE_FLAT, "*.MOTOR.*", VT_EMPTY, 0, {"PLC1.MOTOR.RUN", "PLC1.MOTOR.SPEED"}},
        {CfsBrowser::BROWSE_FLAT, "*d10?", VT_EMPTY, 0, {"PLC1.BLOCK1.D100", "PLC1.BLOCK1.D101"}},
        {CfsBrowser::BROWSE_FLAT, "", VT_BOOL, 0, {"PLC1.MOTOR.RUN", "PLC1.MOTOR.SPEED"}},
        {CfsBrowser::BROWSE_FLAT, "", VT_BSTR, 0, {"PLC2.NAME"}},
        {CfsBrowser::BROWSE_FLAT, "", VT_R8, 0, {}},
        {CfsBrowser::BROWSE_FLAT, "*1*", VT_UI2, 3, {"PLC1.BLOCK1.D100", "PLC1.BLOCK1.D101"}},
        {CfsBrowser::BROWSE_BRANCHES, "*2", VT_EMPTY, 0, {"PLC2"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(List(c.type, c.pattern, c.vt, c.access), c.expected) << c.pattern << " " << c.vt;
}

TEST_F(BrowserTest, AccessFilterAsksForEveryBitGiven)
{
    words->SetClientWriteAccess(FALSE);
    callback.SetDeviceMap(map.get());  // rights are taken when the tree is built
    EXPECT_EQ(List(CfsBrowser::BROWSE_FLAT, "PLC1.BLOCK1.*", VT_EMPTY, 2), Names{});
    EXPECT_EQ(List(CfsBrowser::BROWSE_FLAT, "PLC1.BLOCK1.*", VT_EMPTY, 1),
              (Names{"PLC1.BLOCK1.D100", "PLC1.BLOCK1.D101"}));
}

TEST_F(BrowserTest, RestartGoesBackToTheFirstName)
{
    ASSERT_EQ(browser->BeginBrowse(CfsBrowser::BROWSE_BRANCHES, "", VT_EMPTY, 0), S_OK);
    EXPECT_EQ(browser->NextName(), "PLC1");
    browser->Reset();
    EXPECT_EQ(browser->NextName(), "PLC1");
    EXPECT_EQ(browser->NextName(), "PLC2");
    EXPECT_EQ(browser->NextName(), "");
}

TEST_F(BrowserTest, CheckNameKnowsLeavesAndBranches)
{
    EXPECT_EQ(browser->CheckName("PLC1"), S_OK);
    EXPECT_EQ(browser->CheckName("PLC1.BLOCK1.D100"), S_OK);
    EXPECT_EQ(browser->CheckName("PLC9"), E_INVALIDARG);
}

TEST_F(BrowserTest, ALeafWhosePointIsGoneIsNotListed)
{
    ASSERT_EQ(List(CfsBrowser::BROWSE_FLAT, "PLC2.*").size(), 1u);
    texts->DestroyMemoryObject(0);
    EXPECT_EQ(List(CfsBrowser::BROWSE_FLAT, "PLC2.*"), Names{});
}

TEST_F(BrowserTest, ANewMapReplacesTheTreeAndTheOldMapCanGo)
{
    EXPECT_TRUE(browser->MoveDown("PLC1"));
    auto next = std::make_unique<testsupport::TestDeviceMap>();
    callback.SetDeviceMap(next.get());
    map.reset();  // frees every point and tag of the old map
    CdsDeviceMap::m_TopicListByName.RemoveAll();
    std::swap(map, next);
    BridgeDevice* plc3 = AddDevice("PLC3", "C");
    AddBlock(plc3, "", "D0", BRISANT_SHORT, 1, {"X"});
    callback.SetDeviceMap(map.get());

    EXPECT_EQ(List(CfsBrowser::BROWSE_BRANCHES), Names{"PLC3"});
    EXPECT_EQ(List(CfsBrowser::BROWSE_FLAT), Names{"PLC3.X"});
    DWORD count = 0;
    CTag* tag = nullptr;
    EXPECT_EQ(callback.FindTag("PLC1.BLOCK1.D100", count, tag), OPC_E_UNKNOWNITEMID);
    EXPECT_EQ(callback.FindTag("PLC3.X", count, tag), S_OK);
}

TEST_F(BrowserTest, ClearedMapLeavesNothingToBrowse)
{
    callback.SetDeviceMap(nullptr);
    map.reset();
    EXPECT_EQ(List(CfsBrowser::BROWSE_FLAT), Names{});
    EXPECT_FALSE(browser->MoveDown("PLC1"));
}

} // namespace
