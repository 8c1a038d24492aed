#pragma once
// The forms of the group test dialogs: adding a group, a group's state, a group looked
// up by name, the server's group enumerators and the server's error texts. Each form
// makes its own server calls; every failure is shown with its error text.
#include "quillet/doc/Group.h"
#include "quillet/text/ResourceIds.h"
#include "quillet/text/UiServices.h"

#include <array>
#include <string>
#include <vector>

class CQuilletDoc;

// "Add New Group": the settings of the new group, typed as texts and checked on OK.
class CAddGroupDlg final : public quillet::DialogForm {
public:
    static constexpr std::array<const char*, 3> kAdviseModes = {"None", "IDataObject (Rev 1.0a)",
                                                                "IConnectionPoint (Rev 2.0)"};
    CAddGroupDlg();
    UINT DialogId() const override { return quillet::dlg::IDD_ADD_GROUP; }
    // The time bias must lie in 0..1000 and the deadband in 0..100.
    bool IsValid() const;
    // OK: the texts into the settings; false (and the framework's prompt) when a text
    // does not parse or lies out of range; the dialog then stays open.
    bool Exchange(const quillet::StringTable& texts, std::string& prompt);
    void ChooseAdviseMode(int index);
    bool TimeStampsEnabled() const { return settings.adviseMode == ADVISE_DATAOBJECT; }

    CGroupSettings settings;
    std::string timeBiasText, updateRateText, deadbandText;
};

// "Group State": the state of one group as the server has it, edited and sent back.
class CGroupStateDlg final : public quillet::DialogForm {
public:
    CGroupStateDlg(CQuilletDoc& doc, opc::ComPtr<IOPCGroupStateMgt> state);
    UINT DialogId() const override { return quillet::dlg::IDD_GROUP_STATE; }

    // Opening: reads the state; our own group (found by its client handle) takes it.
    void Open();
    // "Edit Group": the boxes become writable.
    void Edit();
    // A box changed, or "Active" was clicked: Apply follows whether anything differs.
    void Changed();
    // Sends what changed, then reads the state again.
    void Apply();
    // OK: applies first when Apply is enabled.
    void Confirm();

    std::string name, updateRate, timeBias, deadband, lcid, clientHandle, serverHandle, message;
    BOOL active = FALSE;
    bool editing = false;
    bool editEnabled = false;
    bool applyEnabled = false;

private:
    struct State {
        DWORD rate = 0;
        BOOL active = FALSE;
        std::string name;
        LONG timeBias = 0;
        FLOAT deadband = 0;
        LCID lcid = 0;
        OPCHANDLE hClient = 0, hServer = 0;
    };
    bool ReadState();

    CQuilletDoc& m_doc;
    opc::ComPtr<IOPCGroupStateMgt> m_state;
    State m_read;  // the state last read
};

// "Get Group by Name": the connection's groups, looked up by name on the server.
class CGroupByNameDlg final : public quillet::DialogForm {
public:
    explicit CGroupByNameDlg(CQuilletDoc& doc);
    UINT DialogId() const override { return quillet::dlg::IDD_GROUP_BY_NAME; }
    void Select(int index);
    // "Test" (or a double click): the group's state dialog on what the server returns.
    void Test();

    std::vector<std::string> names;
    int selected = -1;
    std::string returned;

private:
    void Fill();
    CQuilletDoc& m_doc;
};

// "Group Enumeration": one group enumerator of the server at a time.
class CGroupEnumDlg final : public quillet::DialogForm {
public:
    explicit CGroupEnumDlg(CQuilletDoc& doc);
    UINT DialogId() const override { return quillet::dlg::IDD_GROUP_ENUM; }
    // The six scopes (item data 1..6) and the two kinds ("by object" first).
    std::vector<std::string> scopes;
    static constexpr std::array<const char*, 2> kKinds = {"Enumerate by object", "Enumerate by string (Group name)"};

    void BuildList();
    // Also when the dialog is closed.
    void ClearList();
    // A double click on a line: that group's state dialog.
    void OpenLine(int index);
    bool HasEnumerator() const { return m_unknowns || m_strings; }

    int scope = 5;  // index of OPC_ENUM_ALL
    int kind = 0;
    std::vector<std::string> lines;
    std::string message;

private:
    void Fill();
    CQuilletDoc& m_doc;
    opc::ComPtr<IEnumUnknown> m_unknowns;
    opc::ComPtr<IEnumString> m_strings;
};

// "Get Error String": the server's texts of the standard OPC codes.
class CErrorStringDlg final : public quillet::DialogForm {
public:
    static constexpr std::array<HRESULT, 15> kCodes = {
        com::hr(0xC0040006), com::hr(0xC0040004), com::hr(0xC004000C), com::hr(0xC0040010), com::hr(0xC0040009),
        com::hr(0xC0040001), com::hr(0xC0040008), com::hr(0xC0040005), com::hr(0xC004000B), com::hr(0xC0040007),
        com::hr(0xC004000A), com::hr(0xC0040011), com::hr(0x0004000E), com::hr(0x0004000D), com::hr(0x0004000F)};
    explicit CErrorStringDlg(CQuilletDoc& doc);
    UINT DialogId() const override { return quillet::dlg::IDD_ERROR_STRING; }
    struct Row {
        std::string code, text;
    };
    std::vector<Row> rows;
};
