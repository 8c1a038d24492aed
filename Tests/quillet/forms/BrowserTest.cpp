// The address-space browser: the bundled server's tree and leaves through the add-item
// form, the server bar, and the rules that a scripted server shows best.
#include "quillet/RealServerFixture.h"

#include "quillet/forms/AddressBrowser.h"
#include "quillet/forms/ItemForms.h"

#include "platform/com/Bstr.h"
#include "platform/opc/Enumerators.h"

#include <functional>

namespace {

using quillettest::Program;
using Node = CAddressBrowser::Node;

std::vector<std::string> Texts(const std::vector<std::unique_ptr<Node>>& nodes)
{
    std::vector<std::string> texts;
    for (auto& n : nodes) texts.push_back(n->text);
    return texts;
}

std::vector<std::string> Strings(const VARIANT& v)
{
    std::vector<std::string> out;
    if (const SAFEARRAY* a = v.parray())
        for (ULONG i = 0; i < a->count(); ++i) out.push_back(com::fromBstr(a->at(i).bstrVal()));
    return out;
}

class Browsing : public quillettest::ServerWindow {
protected:
    void SetUp() override
    {
        ServerWindow::SetUp();
        if (!doc) return;
        group = &AddGroup(*doc, ADVISE_CONNECTIONPOINT);
        form = std::make_unique<CAddItemDlg>(*group, frame->Items().AddItemTemplate());
        form->Open();
        browser = form->Browser();
    }
    void TearDown() override
    {
        form.reset();
        ServerWindow::TearDown();
    }
    CGroup* group = nullptr;
    std::unique_ptr<CAddItemDlg> form;
    CAddressBrowser* browser = nullptr;
};

TEST_F(Browsing, TestServersBranchesAndLeavesFillTheAddItemForm)
{
    ASSERT_EQ(Texts(browser->Roots()), std::vector<std::string>{"Root (Node: <Local>)"});
    Node* root = browser->Roots()[0].get();
    EXPECT_EQ(browser->Selected(), root);
    EXPECT_EQ(Texts(root->children), (std::vector<std::string>{"PLC1", "Control"}));
    EXPECT_TRUE(root->children[0]->children[0]->placeholder);
    browser->Expand(root);  // opened again: listed once
    EXPECT_EQ(root->children.size(), 2u);
    Node* plc = root->children[0].get();
    browser->Expand(plc);
    EXPECT_TRUE(plc->children.empty() && plc->expanded);

    browser->Select(plc);
    EXPECT_EQ(browser->Leaves(), (std::vector<std::string>{"D100", "D101", "TEXT"}));
    EXPECT_EQ(browser->LeafHeader(), "Root (Node: <Local>)\\PLC1");
    browser->SelectLeaves({2});
    EXPECT_EQ(form->itemName, "PLC1.TEXT");
    EXPECT_EQ(form->Entries()[0]->GetItemID(), "PLC1.TEXT");
    EXPECT_EQ(form->accessRights, 3u) << (ui.shown.empty() ? "" : ui.shown[0]);
    EXPECT_EQ(form->accessText, "Read / Write");
    browser->ActivateLeaf(2);  // a double click adds the entry and starts the next
    EXPECT_EQ(form->Entries().size(), 2u);
    EXPECT_EQ(form->Current(), 1);
    browser->SelectLeaves({0, 1});  // two leaves name no single item
    EXPECT_EQ(Strings(browser->SelectedItemIds()), (std::vector<std::string>{"PLC1.D100", "PLC1.D101"}));
    EXPECT_TRUE(form->itemName.empty()) << form->itemName;

    // Each listing went back up to the root: the root lists its own leaves, none.
    browser->Select(root);
    EXPECT_TRUE(browser->Leaves().empty());
    EXPECT_EQ(browser->CanonicalType("PLC1.TEXT", ""), VT_BSTR);
    EXPECT_EQ(browser->CanonicalType("NO.SUCH", ""), -1);
    form->Confirm();
    EXPECT_EQ(form->TakeItems().size(), 1u);
    EXPECT_TRUE(ui.shown.empty());
}

TEST_F(Browsing, ConnectShowsARegisteredServerAndOnlyAddsAnUnknownProgId)
{
    browser->serverText = "Tessaro.Nothing";
    browser->Connect();
    EXPECT_EQ(browser->Roots().size(), 1u);
    EXPECT_EQ(browser->ServerChoices(), (std::vector<std::string>{"Tessaro.TestServer", "Tessaro.Nothing"}));
    browser->allowSeveralServers = false;
    browser->serverText = "Tessaro.TestServer";
    ASSERT_TRUE(browser->ConnectEnabled());
    browser->Connect();
    ASSERT_EQ(Texts(browser->Roots()), std::vector<std::string>{"Tessaro.TestServer (Node: <Local>)"});
    EXPECT_EQ(browser->Roots()[0]->children.size(), 2u);
    EXPECT_FALSE(browser->ConnectEnabled());
}

TEST_F(Browsing, FenwoldsDevicesAndBlocksAreBranchesWithTheirPointsAsLeaves)
{
    if (::access(Program("fenwold").c_str(), X_OK) != 0 || ::access(Program("plcsim").c_str(), X_OK) != 0)
        GTEST_SKIP() << "the Fenwold program or the simulator is not built";
    quillettest::SimulatorProgram plc({"--port", "0", "--frame", "3e"});
    ASSERT_GT(plc.port(), 0);
    ServeFenwold(plc.port());
    browser->serverText = "Tessaro.Fenwold.1";
    browser->Connect();
    ASSERT_EQ(browser->Roots().size(), 2u);
    Node* root = browser->Roots()[1].get();
    browser->Expand(root);
    ASSERT_EQ(Texts(root->children), (std::vector<std::string>{"$SYSTEM", "PLC1"}));
    Node* device = root->children[1].get();
    browser->Expand(device);
    ASSERT_EQ(Texts(device->children), (std::vector<std::string>{"Words", "$Array"}));
    browser->Select(device->children[0].get());
    EXPECT_EQ(browser->Leaves().size(), 4u);
    form.reset();
    app.reset();
    EXPECT_TRUE(FenwoldClosed());
}

// A browse interface that answers as the test says and records what it is asked.
class FakeBrowse final : public IOPCBrowseServerAddressSpace {
public:
    HRESULT QueryInterface(const IID& iid, void** out) override
    {
        *out = nullptr;
        if (opc::offer<IOPCBrowseServerAddressSpace>(iid, IID_IUnknown, this, out) ||
            opc::offer<IOPCBrowseServerAddressSpace>(iid, IID_IOPCBrowseServerAddressSpace, this, out))
            return S_OK;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return refs.add(); }
    ULONG Release() override { return refs.release(); }  // lives on the test's stack
    HRESULT QueryOrganization(OPCNAMESPACETYPE* type) override
    {
        *type = organisation;
        return S_OK;
    }
    HRESULT ChangeBrowsePosition(OPCBROWSEDIRECTION direction, std::u16string_view) override
    {
        if (direction == OPC_BROWSE_DOWN) return ++depth, S_OK;
        ++ups;
        if (neverRefusesUp) return S_OK;
        return depth > 0 ? (--depth, S_OK) : E_FAIL;
    }
    HRESULT BrowseOPCItemIDs(OPCBROWSETYPE type, std::u16string_view filter, VARTYPE vt, DWORD access,
                             IEnumString** names) override
    {
        listings.push_back({type, std::u16string(filter), vt, access});
        if (onList) onList();
        *names = opc::StringEnum::make(type == OPC_BRANCH ? branches : leaves, IID_IEnumString).detach();
        return S_OK;
    }
    HRESULT GetItemID(std::u16string_view name, std::u16string& id) override
    {
        if (name == failingLeaf) return E_FAIL;
        id = u"X." + std::u16string(name);
        return S_OK;
    }
    HRESULT BrowseAccessPaths(std::u16string_view, IEnumString**) override { return E_NOTIMPL; }

    struct Listing {
        OPCBROWSETYPE type;
        std::u16string filter;
        VARTYPE vt;
        DWORD access;
    };
    opc::RefCount refs;
    OPCNAMESPACETYPE organisation = OPC_NS_HIERARCHIAL;
    std::vector<std::u16string> branches{u"B"}, leaves{u"a", u"b", u"c"};
    std::u16string failingLeaf;
    bool neverRefusesUp = false;
    int depth = 0, ups = 0;
    std::function<void()> onList;  // while each listing is asked for
    std::vector<Listing> listings;
};

class ScriptedBrowsing : public ::testing::Test {
protected:
    void Show(IUnknown* object) { browser.ShowConnectedServer(opc::ComPtr<IUnknown>(object), "", ""); }
    quillettest::Script script;  // outlives the browser's records
    quillettest::FakeUi ui;
    FakeBrowse server;
    CAddressBrowser browser{ui, {}};
};

TEST_F(ScriptedBrowsing, FiltersReachTheServerAndAnyTypeClearsTheTypeFilter)
{
    Show(&server);
    browser.SetTypeIndex(1);  // VT_I2
    EXPECT_TRUE(browser.ArrayEnabled());
    browser.SetArray(true);
    browser.SetAccessIndex(2);
    browser.SetNameFilter("D*");
    const auto& last = server.listings.back();
    EXPECT_EQ(std::tuple(last.type, last.filter, last.vt, last.access),
              std::tuple(OPC_LEAF, std::u16string(u"D*"), VARTYPE(VT_I2 | VT_ARRAY), DWORD(2)));
    browser.SetTypeIndex(0);
    EXPECT_FALSE(browser.ArrayEnabled());
    EXPECT_EQ(server.listings.back().vt, VT_EMPTY);
    EXPECT_EQ(server.depth, 0);
}

TEST_F(ScriptedBrowsing, ExpandingABranchDisablesTheMainWindowWhileTheServerAnswers)
{
    Show(&server);
    Node* branch = browser.Roots()[0]->children[0].get();
    std::vector<int> depths;
    server.onList = [&] { depths.push_back(ui.disableDepth); };
    const int waits = ui.waitCount;
    browser.Expand(branch);
    EXPECT_EQ(depths, std::vector<int>{1});
    EXPECT_EQ(ui.disableDepth, 0);
    EXPECT_EQ(ui.waitCount, waits + 1);
    browser.Expand(branch);  // listed once: nothing is asked, nothing disabled
    EXPECT_EQ(depths.size(), 1u);
}

TEST_F(ScriptedBrowsing, FlatNameSpaceShowsItsLeavesAtTheRootWithoutBranches)
{
    server.organisation = OPC_NS_FLAT;
    Show(&server);
    EXPECT_TRUE(browser.Roots()[0]->children.empty());
    EXPECT_EQ(browser.Leaves(), (std::vector<std::string>{"a", "b", "c"}));
}

TEST_F(ScriptedBrowsing, WalkBackUpStopsAtItsBoundWhenTheServerNeverRefuses)
{
    server.neverRefusesUp = true;
    Show(&server);
    EXPECT_EQ(server.ups, CAddressBrowser::kMaxDepth * 2);  // after the branches and after the leaves
}

TEST_F(ScriptedBrowsing, OneFailedItemIdEmptiesTheSelection)
{
    server.failingLeaf = u"b";
    Show(&server);
    browser.SelectLeaves({0, 1, 2});
    EXPECT_TRUE(Strings(browser.SelectedItemIds()).empty());
    browser.SelectLeaves({2, 0});
    EXPECT_EQ(Strings(browser.SelectedItemIds()), (std::vector<std::string>{"X.a", "X.c"}));
}

TEST_F(ScriptedBrowsing, ServerWithoutBrowsingShowsWhyInItsOnlyRow)
{
    opc::ComPtr<quillettest::FakeServer> plain(new quillettest::FakeServer(script));
    Show(static_cast<IOPCServer*>(plain.get()));
    EXPECT_EQ(browser.Leaves(), std::vector<std::string>{"Server doesn't Support Browsing Namespace."});
    browser.SelectLeaves({0});
    EXPECT_TRUE(Strings(browser.SelectedItemIds()).empty());
    browser.Expand(browser.Roots()[0].get());
    EXPECT_TRUE(browser.Roots()[0]->children.empty());
}

} // namespace
