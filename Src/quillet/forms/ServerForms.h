#pragma once
// The forms of the dialogs that deal with servers as a whole: choosing the server to
// connect to, listing the OPC servers a node offers, and a server's status record.
#include "quillet/text/ResourceIds.h"
#include "quillet/text/UiServices.h"

#include "platform/opc/client/Activation.h"

#include <array>
#include <string>
#include <vector>

struct CServerEntry;
namespace quillet { class StringTable; }

// "Enumerate OPC Servers": the OPC server list of this machine or of a node, by the
// category of the servers. Another node has no list here: it reports why.
class CServerEnumForm final : public quillet::DialogForm {
public:
    enum Category { kNone = -1, kServers10 = 0, kServers20 = 1 };
    struct Entry {
        std::string progId;
        CLSID clsid{};
    };
    CServerEnumForm(quillet::UiServices& ui, const quillet::StringTable& texts, opc::ActivationOptions activation);
    UINT DialogId() const override { return quillet::dlg::IDD_ENUM_SERVERS; }

    // Opening: connects with the node text and lists the 1.0a servers.
    void Open();
    // The "Connect" button; false (and a box) when no list could be had.
    bool Connect();
    // A radio button: the list holds the servers of that category.
    void SelectCategory(Category category);
    bool CanSelect() const { return selected >= 0 && std::size_t(selected) < servers.size(); }
    const Entry* Chosen() const { return CanSelect() ? &servers[selected] : nullptr; }

    std::string node;
    Category category = kNone;
    std::vector<Entry> servers;
    int selected = -1;

private:
    quillet::UiServices& m_ui;
    const quillet::StringTable& m_texts;
    opc::ActivationOptions m_activation;
    opc::ComPtr<IOPCServerList> m_list;
};

// "Select an OPC Server": the servers of this machine, a typed ProgID and a node.
class CServerSelectForm final : public quillet::DialogForm {
public:
    struct Choice {
        std::string progId;
        std::string node;
        CLSID clsid{};  // null: look the ProgID up
    };
    CServerSelectForm(const std::vector<CServerEntry>& servers, bool dcom, quillet::UiServices& ui,
                      const quillet::StringTable& texts, opc::ActivationOptions activation);
    UINT DialogId() const override { return quillet::dlg::IDD_SELECT_SERVER; }

    // A list entry chosen: its ProgID is typed in and its class looked up.
    void Choose(int index);
    // "Browse...": the enumeration dialog's node, ProgID and class, when confirmed.
    void Browse();
    // What the confirmed dialog connects to. A class found for a ProgID counts only
    // while the typed ProgID is still that one.
    Choice Result() const;

    std::vector<std::string> located;
    int selected = -1;
    std::string progId;  // typed
    std::string node;
    bool nodeEnabled;    // remote activation is possible

private:
    quillet::UiServices& m_ui;
    const quillet::StringTable& m_texts;
    opc::ActivationOptions m_activation;
    CLSID m_clsid{};
    std::string m_clsidProgId;  // the ProgID m_clsid belongs to
};

// "Server Status": the texts of a status record.
class CServerStatusForm final : public quillet::DialogForm {
public:
    explicit CServerStatusForm(const OPCSERVERSTATUS& status);
    UINT DialogId() const override { return quillet::dlg::IDD_SERVER_STATUS; }
    // The text of a server state.
    static std::string StateText(DWORD state);
    // "%B %d, %Y, %H:%M:%S" in local time.
    static std::string TimeText(FILETIME time);

    std::string vendor, version, state, groups, bandwidth, startTime, currentTime, lastUpdate;
};
