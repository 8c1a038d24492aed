// The event trigger and MMI emulation dialogs' forms: what they write into the
// document, and the MMI settings' way through the set-up file.
#include "quillet/RealServerFixture.h"

#include "quillet/views/EventForms.h"
#include "quillet/doc/GroupEvent.h"
#include "quillet/text/ResourceIds.h"

namespace {

using namespace quillet::cmd;
using namespace quillet::dlg;

class EventDialogs : public quillettest::ServerWindow {
protected:
    void SetUp() override
    {
        ServerWindow::SetUp();
        if (!doc) return;
        group = &AddGroup(*doc, ADVISE_CONNECTIONPOINT);  // with its "Updates / Second" item
        AddItems(*doc, *group, {"PLC1.D100", "PLC1.D101"});
    }
    CGroup* group = nullptr;
};

TEST_F(EventDialogs, EventsAreAddedEditedAndRemovedAndNeverNameTheRateItem)
{
    std::function<void(CEventTriggersDlg&)> steps;
    ui.OnDialog<CEventTriggersDlg>(IDD_EVENT_TRIGGERS, [&](CEventTriggersDlg& f) {
        steps(f);
        return true;
    });
    std::string prompt;
    int opened = 0;
    ui.OnDialog<CEventConfigDlg>(IDD_EVENT_CONFIG, [&](CEventConfigDlg& f) {
        if (++opened == 1) {
            EXPECT_EQ(f.name, "New Event");
            EXPECT_EQ(std::tuple(f.intervalText, f.type, f.onlyIfActive), std::tuple("10000", 0, TRUE));
            EXPECT_EQ(f.items.size(), 2u);  // the two items; "Updates / Second" is no item of the server
            EXPECT_EQ(f.items[0].name, "PLC1.D100");
            f.items[1].selected = true;
        } else {
            EXPECT_TRUE(f.items[1].selected && !f.items[0].selected);
            f.name = "Writer";
            f.type = EVENT_SYNC_WRITE;
            f.intervalText = "soon";  // does not parse: the prompt, and the old interval stays
            f.items[0].selected = true;
        }
        f.Confirm(prompt);
        return true;
    });
    steps = [&](CEventTriggersDlg& f) {
        f.EditEvent();  // no row selected: nothing
        f.AddEvent();
        ASSERT_EQ(f.Rows(texts).size(), 1u);
        EXPECT_EQ(f.Rows(texts)[0].type, "Async Read from Cache");
        f.selected = 0;
        f.EditEvent();
        auto row = f.Rows(texts)[0];
        EXPECT_EQ(std::tuple(row.name, row.type, row.time), std::tuple("Writer", "Sync Write", "10000"));
    };
    ASSERT_TRUE(frame->Commands().Run(ID_CONFIGURE_EVENTS));
    EXPECT_EQ(prompt, "Please enter an integer.");
    ASSERT_EQ(group->Events().size(), 1u);
    CGroupEvent& event = *group->Events().front();
    EXPECT_EQ(event.Items(), (std::vector<OPCHANDLE>{Item(*group, "PLC1.D100").GetClientHandle(),
                                                     Item(*group, "PLC1.D101").GetClientHandle()}));
    // The event runs on its interval with its new type.
    dispatcher.advance(10000);
    EXPECT_TRUE(Logged(*doc, "Sync write - HR=00000000 - (Group) G20 #(Item) 3"));

    steps = [&](CEventTriggersDlg& f) {
        f.RemoveEvent();  // nothing selected
        EXPECT_EQ(f.Rows(texts).size(), 1u);
        f.selected = 0;
        f.RemoveEvent();
        EXPECT_TRUE(f.Rows(texts).empty());
    };
    ASSERT_TRUE(frame->Commands().Run(ID_CONFIGURE_EVENTS));
    EXPECT_TRUE(group->Events().empty());
}

TEST_F(EventDialogs, MmiSettingsGoIntoTheDocumentAndThroughItsFile)
{
    CMMIEmulationDlg check;
    check.SetEnabled(TRUE);
    EXPECT_TRUE(check.onlyDisplayedActive && !check.OnlyDisplayedEnabled() && check.SecondsEnabled());
    for (const char* bad : {"0", "3601", "ten"}) {
        check.secondsText = bad;
        std::string prompt;
        EXPECT_FALSE(check.Exchange(texts, prompt)) << bad;
    }

    ui.OnDialog<CMMIEmulationDlg>(IDD_MMI_EMULATION, [&](CMMIEmulationDlg& f) {
        EXPECT_EQ(f.secondsText, "10");
        f.SetEnabled(TRUE);
        f.secondsText = "7";
        std::string prompt;
        return f.Exchange(texts, prompt);
    });
    ASSERT_TRUE(frame->Commands().Run(ID_MMI_EMULATION));
    EXPECT_TRUE(doc->IsModified());
    const std::string path = (scratch.path() / "mmi.csv").string();
    ASSERT_TRUE(app->SaveDocument(*doc, path));
    CQuilletDoc* loaded = app->OpenDocumentFile(path);
    ASSERT_NE(loaded, nullptr);
    const auto mmi = app->FrameOf(loaded)->Groups().Mmi();
    EXPECT_EQ(std::tuple(mmi.onlyDisplayedActive, mmi.enabled, mmi.seconds), std::tuple(TRUE, TRUE, DWORD(7)));
}

} // namespace
