// The group test dialogs' forms against the bundled server: adding, the group state
// with its round trip, lookup by name, the group enumerators and the error texts; and
// what the dialogs say when a server lacks their calls.
#include "quillet/RealServerFixture.h"

#include "quillet/text/ErrorText.h"
#include "quillet/forms/GroupForms.h"
#include "quillet/forms/ItemForms.h"
#include "quillet/text/ResourceIds.h"

#include "platform/com/Bstr.h"
#include "support/CommaLocale.h"

namespace {

using namespace quillet::cmd;
using namespace quillet::dlg;

class GroupDialogs : public quillettest::ServerWindow {
protected:
    bool Run(UINT id) { return frame->Commands().Run(id); }
};

TEST(AddGroupDialog, FieldsOutOfRangeKeepTheDialogOpenWithTheFrameworksPrompt)
{
    quillet::StringTable texts;
    const std::tuple<const char*, const char*, const char*, const char*> cases[] = {
        {"1001", "1000", "1", "Please enter an integer between 0 and 1000."},
        {"0", "1000", "100.5", "Please enter a number between 0 and 100."},
        {"x", "1000", "1", "Please enter an integer."},
        {"0", "-1", "1", "Please enter an integer between 0 and 4294967295."},
    };
    for (auto [bias, rate, deadband, prompt] : cases) {
        CAddGroupDlg form;
        form.timeBiasText = bias;
        form.updateRateText = rate;
        form.deadbandText = deadband;
        std::string shown;
        EXPECT_FALSE(form.Exchange(texts, shown));
        EXPECT_EQ(shown, prompt);
    }
    CAddGroupDlg form;
    EXPECT_EQ(std::tuple(form.timeBiasText, form.updateRateText, form.deadbandText), std::tuple("0", "1000", "1"));
    EXPECT_FALSE(form.TimeStampsEnabled());  // IConnectionPoint by default
    form.ChooseAdviseMode(1);
    EXPECT_TRUE(form.TimeStampsEnabled());
    form.timeBiasText = " 1000 ";
    std::string none;
    EXPECT_TRUE(form.Exchange(texts, none));
    EXPECT_EQ(form.settings.timeBias, 1000);
}

TEST_F(GroupDialogs, StateIsEditedAndReadBackWithTheLocaleInOneBase)
{
    CGroup& group = AddGroup(*doc, ADVISE_CONNECTIONPOINT);
    std::function<void(CGroupStateDlg&)> step;
    ui.OnDialog<CGroupStateDlg>(IDD_GROUP_STATE, [&](CGroupStateDlg& f) {
        step(f);
        return true;
    });
    step = [&](CGroupStateDlg& f) {
        EXPECT_EQ(f.name, group.GetName());
        EXPECT_EQ(f.clientHandle, quillet::HexCode(group.GetClientHandle()));
        EXPECT_EQ(f.lcid, "00000000");
        f.Edit();
        EXPECT_FALSE(f.applyEnabled);
        f.lcid = "0x00000409";
        f.name = "Renamed";
        f.Changed();
        EXPECT_TRUE(f.applyEnabled);
        f.Confirm();  // OK applies first
        EXPECT_EQ(std::tuple(f.lcid, f.name, f.editing), std::tuple("0x00000409", "Renamed", false));
    };
    ASSERT_TRUE(Run(ID_GET_STATE));
    EXPECT_EQ(group.GetName(), "Renamed");  // our group, found by its client handle
    EXPECT_EQ(group.GetLocaleID(), 0x409u);

    step = [&](CGroupStateDlg& f) {
        f.Edit();
        f.updateRate = "250";
        f.name = "Other";
        f.Changed();
        f.name = "Renamed";  // the original again, and nothing else: Apply follows the rate
        f.Changed();
        EXPECT_TRUE(f.applyEnabled);
        f.Apply();
        // The locale shown in hexadecimal went back as it was, not as a decimal 0.
        EXPECT_EQ(f.lcid, "0x00000409");
        EXPECT_EQ(f.updateRate, "250");
        f.Edit();
        f.Changed();
        EXPECT_FALSE(f.applyEnabled);
    };
    ASSERT_TRUE(Run(ID_GET_STATE));
    EXPECT_EQ(group.m_dwRevisedRate, 250u);
    EXPECT_EQ(group.m_dwRequestedRate, 250u);
    EXPECT_TRUE(ui.shown.empty());
}

TEST_F(GroupDialogs, ApplyTheServerRefusesLeavesTheDocumentUnmodified)
{
    CGroup& taken = AddGroup(*doc, ADVISE_DATAOBJECT);
    CGroup& group = AddGroup(*doc, ADVISE_CONNECTIONPOINT);
    CGroupStateDlg form(*doc, group.m_itemMgt.as<IOPCGroupStateMgt>(IID_IOPCGroupStateMgt));
    form.Open();
    doc->SetModifiedFlag(false);
    form.Edit();
    form.name = taken.GetName();  // the server refuses a second group of that name
    form.Apply();
    ASSERT_EQ(ui.shown.size(), 1u);
    EXPECT_FALSE(doc->IsModified());
    form.Edit();
    form.name = "Fresh";
    form.Apply();
    EXPECT_TRUE(doc->IsModified());
    EXPECT_EQ(group.GetName(), "Fresh");
}

TEST_F(GroupDialogs, StateDeadbandReadsAndShowsWithADotUnderACommaLocale)
{
    testsupport::CommaLocaleScope comma;
    if (!comma.Ok()) GTEST_SKIP() << "no comma-decimal locale could be made (localedef, package locales)";
    CGroup& group = AddGroup(*doc, ADVISE_CONNECTIONPOINT);
    ui.OnDialog<CGroupStateDlg>(IDD_GROUP_STATE, [&](CGroupStateDlg& f) {
        EXPECT_EQ(f.deadband, "1.000000");  // the new group's deadband
        f.Edit();
        f.deadband = "0.5";
        f.Changed();
        EXPECT_TRUE(f.applyEnabled);
        f.Apply();
        EXPECT_EQ(f.deadband, "0.500000");
        return true;
    });
    ASSERT_TRUE(Run(ID_GET_STATE));
    EXPECT_EQ(group.GetDeadband(), 0.5f);
    EXPECT_TRUE(ui.shown.empty());
}

TEST_F(GroupDialogs, GroupsAreFoundByNameAndByBothEnumeratorKinds)
{
    AddGroup(*doc, ADVISE_CONNECTIONPOINT);
    AddGroup(*doc, ADVISE_DATAOBJECT);
    int states = 0;
    ui.OnDialog<CGroupStateDlg>(IDD_GROUP_STATE, [&](CGroupStateDlg& f) {
        ++states;
        EXPECT_EQ(f.name, doc->Groups().back()->GetName());
        return true;
    });
    ui.OnDialog<CGroupByNameDlg>(IDD_GROUP_BY_NAME, [&](CGroupByNameDlg& f) {
        EXPECT_EQ(f.names, (std::vector<std::string>{"G20", "G10"}));
        f.Select(1);
        f.Test();
        EXPECT_EQ(f.returned, "GetGroupByName succeded.");
        f.names[1] = "Nobody";
        f.Test();
        EXPECT_EQ(f.returned, "GetGroupByName failed.  ");
        return true;
    });
    ASSERT_TRUE(Run(ID_GET_GROUP_BY_NAME));

    ui.OnDialog<CGroupEnumDlg>(IDD_GROUP_ENUM, [&](CGroupEnumDlg& f) {
        EXPECT_EQ(f.scopes[f.scope], "All groups");
        f.BuildList();
        EXPECT_EQ(f.lines.size(), 2u);
        EXPECT_TRUE(f.HasEnumerator());
        f.BuildList();
        EXPECT_EQ(f.message.substr(0, 32), "Group enumerator already exists.");
        f.ClearList();
        EXPECT_EQ(f.message, "Group enumerator successfully released");
        f.kind = 1;
        f.scope = 4;  // public groups: there are none
        f.BuildList();
        EXPECT_EQ(f.message.substr(0, 33), "There are no groups to enumerate.");
        EXPECT_FALSE(f.HasEnumerator());
        f.scope = 3;  // private groups, by name
        f.BuildList();
        EXPECT_EQ(f.lines, (std::vector<std::string>{"G20", "G10"}));
        f.OpenLine(1);
        return true;
    });
    ASSERT_TRUE(Run(ID_GROUP_ENUM));
    EXPECT_EQ(states, 2);
    EXPECT_TRUE(ui.shown.empty());
}

TEST_F(GroupDialogs, ErrorStringsAreTheServersOwnTexts)
{
    std::vector<CErrorStringDlg::Row> rows;
    ui.OnDialog<CErrorStringDlg>(IDD_ERROR_STRING, [&](CErrorStringDlg& f) {
        rows = f.rows;
        return true;
    });
    ASSERT_TRUE(Run(ID_GET_ERROR_STRING));
    ASSERT_EQ(rows.size(), 15u);
    std::u16string text;
    ASSERT_EQ(doc->GetServer()->GetErrorString(OPC_E_BADRIGHTS, 0, text), S_OK);
    EXPECT_EQ(rows[0].code, "0xc0040006");
    EXPECT_EQ(rows[0].text, com::fromBstr(text));
    EXPECT_EQ(rows[12].code, "0x0004000e");
}

// A server that implements none of the dialogs' calls: each dialog says why.
class ScriptedServerDialogs : public quillettest::DocFixture {
protected:
    void SetUp() override
    {
        ASSERT_EQ(doc.AttachServer(opc::ComPtr<IUnknown>(static_cast<IOPCServer*>(server.get()))), S_OK);
        group = doc.OnAddGroup({});
        ASSERT_NE(group, nullptr);
    }
    opc::ComPtr<quillettest::FakeServer> server{new quillettest::FakeServer(script)};
    CGroup* group = nullptr;
};

TEST_F(ScriptedServerDialogs, FailedEnumeratorKeepsItsReasonInTheMessage)
{
    CGroupEnumDlg form(doc);
    form.BuildList();
    EXPECT_EQ(form.message, "The group enumerator could not be created. " + quillet::ErrorText(texts, E_NOTIMPL));
    EXPECT_FALSE(form.HasEnumerator());
    form.ClearList();  // nothing to release: the reason stays
    EXPECT_EQ(form.message.substr(0, 42), "The group enumerator could not be created.");
}

TEST_F(ScriptedServerDialogs, ServerWithoutErrorStringsGivesTheSystemTextOfTheFailure)
{
    CErrorStringDlg form(doc);
    ASSERT_EQ(form.rows.size(), 15u);
    for (const auto& row : form.rows) EXPECT_EQ(row.text, com::systemErrorText(E_NOTIMPL));
}

TEST_F(ScriptedServerDialogs, ItemEnumeratorThatCannotBeMadeIsReported)
{
    CItemEnumDlg form(doc, *group);
    form.Open();
    EXPECT_EQ(form.message.substr(0, 50), "Could not create the item enumerator on this group");
    EXPECT_FALSE(form.canClone);
    EXPECT_EQ(ui.shown, std::vector<std::string>{quillet::ErrorText(texts, E_NOTIMPL)});
}

TEST_F(ScriptedServerDialogs, ClientHandlesOfListsThatDifferInLengthCannotBeConfirmed)
{
    CItem& a = AddItem(*group, "A");
    std::vector<std::unique_ptr<CItem>> copies;
    copies.push_back(std::make_unique<CItem>(a));
    CClientHandlesDlg fine(texts, {&a}, copies);
    EXPECT_TRUE(fine.okEnabled);
    EXPECT_EQ(fine.rows[0][0], "A");
    EXPECT_EQ(fine.rows[0][2], quillet::HexCode(copies[0]->GetClientHandle()));
    copies.clear();
    CClientHandlesDlg broken(texts, {&a}, copies);
    EXPECT_FALSE(broken.okEnabled);
    EXPECT_EQ(broken.message, "Internal error - bad item count.  Hit cancel to continue.");
}

} // namespace
