// The group tree and the MMI emulation: entries and their pictures, the cycle against
// the bundled server, and the cycle's end when the server goes.
#include "quillet/RealServerFixture.h"

#include "quillet/views/EventForms.h"
#include "quillet/text/ResourceIds.h"

namespace {

using quillet::cmd::ID_MMI_EMULATION;
using quillet::cmd::ID_REMOVE_GROUP;

class Mmi : public quillettest::ServerWindow {
protected:
    void SetUp() override
    {
        ServerWindow::SetUp();
        if (!doc) return;
        for (const char* name : {"A", "B", "C"}) {
            CGroupSettings s;
            s.name = name;
            doc->OnAddGroup(s);
        }
    }
    void Enable(DWORD seconds)
    {
        ui.OnDialog<CMMIEmulationDlg>(quillet::dlg::IDD_MMI_EMULATION, [=](CMMIEmulationDlg& f) {
            f.enabled = TRUE;
            f.seconds = seconds;
            return true;
        });
        ASSERT_TRUE(frame->Commands().Run(ID_MMI_EMULATION));
    }
    std::vector<BOOL> Active()
    {
        std::vector<BOOL> active;
        for (auto& g : doc->Groups()) active.push_back(g->IsActive());
        return active;
    }
};

TEST_F(Mmi, EmulationCyclesTheGroupsOnItsTimerKeepingOnlyTheShownOneActive)
{
    EXPECT_EQ(frame->Groups().Selection(), 2);  // each new group is selected as it comes
    Enable(2);
    EXPECT_TRUE(frame->Groups().Mmi().onlyDisplayedActive);
    EXPECT_TRUE(frame->Commands().State(ID_MMI_EMULATION).checked);
    EXPECT_EQ(Active(), (std::vector<BOOL>{FALSE, FALSE, TRUE}));
    for (int expected : {0, 1, 2, 0}) {
        dispatcher.advance(2000);
        EXPECT_EQ(frame->Groups().Selection(), expected);
        std::vector<BOOL> want(3, FALSE);
        want[expected] = TRUE;
        EXPECT_EQ(Active(), want);
    }
    EXPECT_TRUE(ui.shown.empty());
}

TEST_F(Mmi, EmulationStopsWhenTheServerGoesAway)
{
    Enable(1);
    CGroup& group = *doc->Groups().front();
    AddItems(*doc, group, {"Control.Stop"});
    VARIANT stop = VARIANT::Bool(true);
    std::vector<HRESULT> errors;
    group.SyncIO()->Write(std::vector<OPCHANDLE>{group.Items().back()->GetServerHandle()}, std::span(&stop, 1), errors);
    ASSERT_TRUE(Pump([&] { return !doc->IsConnected(); }));
    dispatcher.advance(5000);
    EXPECT_FALSE(frame->Groups().IsCycling());
    EXPECT_FALSE(frame->Commands().State(ID_MMI_EMULATION).checked);
    EXPECT_TRUE(ui.shown.empty());
}

class Tree : public quillettest::DocFixture {
protected:
    void SetUp() override
    {
        auto server = opc::ComPtr<IUnknown>(static_cast<IOPCServer*>(new quillettest::FakeServer(script)));
        ASSERT_EQ(doc.AttachServer(server), S_OK);
    }
    CGroup& Add(BOOL active, DWORD mode)
    {
        CGroupSettings s;
        s.name = "G";
        s.active = active;
        s.adviseMode = mode;
        return *doc.OnAddGroup(s);
    }
    CSplitterFrame frame{doc};
};

TEST_F(Tree, EntriesShowOnePictureWhetherNewOrRedrawn)
{
    const std::tuple<BOOL, DWORD, int> cases[] = {
        {TRUE, ADVISE_CONNECTIONPOINT, 2}, {FALSE, ADVISE_CONNECTIONPOINT, 1}, {TRUE, ADVISE_NONE, 0},
        {FALSE, ADVISE_NONE, 3}};
    for (auto [active, mode, image] : cases) {
        CGroup& group = Add(active, mode);
        const int index = frame.Groups().Selection();
        EXPECT_EQ(frame.Groups().Entries()[index].image, image);
        group.m_bChanged = TRUE;
        doc.UpdateAllViews();
        EXPECT_EQ(frame.Groups().Entries()[index].image, image);
        EXPECT_EQ(frame.Groups().Entries()[index].label, "G (Actual Rate: 1000)");
    }
}

TEST_F(Tree, MmiSecondsOutsideTheirRangeKeepTheDefault)
{
    for (auto [seconds, kept] : {std::pair{0u, 10u}, {3601u, 10u}, {1u, 1u}, {3600u, 3600u}}) {
        frame.Groups().SetMmi({FALSE, FALSE, seconds});
        EXPECT_EQ(frame.Groups().Mmi().seconds, kept) << seconds;
    }
}

TEST_F(Tree, RemovingTheLastGroupEmptiesTheItemList)
{
    CGroup& group = Add(TRUE, ADVISE_CONNECTIONPOINT);
    AddItem(group, "X");
    doc.UpdateAllViews();
    ASSERT_EQ(frame.Items().Rows().size(), 1u);
    ASSERT_TRUE(frame.Commands().Run(ID_REMOVE_GROUP));
    EXPECT_TRUE(frame.Items().Rows().empty());
    EXPECT_TRUE(frame.Groups().Entries().empty());
    EXPECT_FALSE(frame.Commands().State(ID_REMOVE_GROUP).enabled);
    EXPECT_TRUE(doc.IsModified());
}

} // namespace
