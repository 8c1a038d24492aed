#pragma once
// The address-space browser of the add-item dialog without its widgets: a tree of the
// servers' branches, expanded only when opened, the leaves of the selected branch
// under the filters, a bar to connect to further servers, and the answers the
// hosting dialog asks for (the item ids of the selected leaves, an item's access
// paths, its canonical data type). Application thread only.
//
// Ownership: the browser owns its server records and tree nodes; a root node names its
// record, which lives as long as the browser. A record adds a private group to its
// server only when asked for a canonical type, and removes it when it goes.
#include "quillet/doc/BrowseSetup.h"
#include "quillet/text/UiServices.h"

#include "platform/opc/client/Activation.h"

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class CAddressBrowser {
public:
    // Messages to the host.
    static constexpr UINT kLeafSelected = 0x8064;
    static constexpr UINT kLeafActivated = 0x8065;
    static constexpr UINT kBranchSelected = 0x8066;
    // The data type filter's choices; index 0 is any type.
    static constexpr VARTYPE kTypeChoices[] = {VT_EMPTY, VT_I2, VT_I4, VT_I8, VT_R4, VT_R8, VT_BSTR, VT_BOOL, VT_UI1};
    static constexpr const char* kTypeChoiceTexts[] = {"(Any)", "VT_I2", "VT_I4", "VT_I8", "VT_R4",
                                                       "VT_R8", "VT_BSTR", "VT_BOOL", "VT_UI1"};
    // The access filter's choices; the index is the filter.
    static constexpr const char* kAccessChoiceTexts[] = {"(Any)", "Readable", "Writable", "Read / Write"};
    static constexpr const char* kLocal = "<Local>";
    // Deeper trees than this are not walked.
    static constexpr int kMaxDepth = 256;

    enum class State { Browsable = 1, Failed = 2, NoBrowsing = 3 };

    struct Server;
    struct Node {
        std::string text;
        Node* parent = nullptr;
        Server* server = nullptr;  // roots only
        std::vector<std::unique_ptr<Node>> children;
        bool expanded = false;
        bool placeholder = false;
    };
    struct Server {
        Server() = default;
        Server(const Server&) = delete;
        Server& operator=(const Server&) = delete;
        ~Server();
        std::string progId, node;
        CLSID clsid{};
        opc::ComPtr<IUnknown> object;
        opc::ComPtr<IOPCBrowseServerAddressSpace> browse;
        opc::ComPtr<IOPCServer> server;  // with the private group, once needed
        opc::ComPtr<IOPCItemMgt> itemMgt;
        OPCHANDLE hGroup = 0;
        OPCNAMESPACETYPE organisation = OPC_NS_HIERARCHIAL;
        State state = State::Failed;
    };

    // Changes of the tree, for the widget that shows it; parent null is the top level.
    class Listener {
    public:
        virtual ~Listener() = default;
        virtual void BeforeInsert(Node* parent, int first, int last) = 0;
        virtual void AfterInsert() = 0;
        virtual void BeforeRemove(Node* parent, int first, int last) = 0;
        virtual void AfterRemove() = 0;
        // The browser selected a node itself (a new root).
        virtual void Selected(Node* node) = 0;
    };

    CAddressBrowser(quillet::UiServices& ui, CBrowseSetup setup);
    ~CAddressBrowser();
    CAddressBrowser(const CAddressBrowser&) = delete;
    CAddressBrowser& operator=(const CAddressBrowser&) = delete;

    void SetListener(Listener* listener) { m_listener = listener; }
    std::function<void(UINT message)> notify;

    // The host's settings.
    std::string progId, node;
    bool allowSeveralServers = true;
    bool severalLeaves = true;

    // The server the host is connected to; ProgID and node may be empty. Shows its root
    // and selects it.
    void ShowConnectedServer(opc::ComPtr<IUnknown> object, std::string progId, std::string node);

    // ---- the tree ----
    const std::vector<std::unique_ptr<Node>>& Roots() const { return m_roots; }
    Node* Selected() const { return m_selected; }
    // Lists the node's branches the first time it is opened.
    void Expand(Node* node);
    // Lists the node's leaves and tells the host.
    void Select(Node* node);

    // ---- the leaves ----
    const std::vector<std::string>& Leaves() const { return m_leaves; }
    const std::string& LeafHeader() const { return m_header; }
    const std::vector<int>& SelectedLeaves() const { return m_selectedLeaves; }
    void SelectLeaves(std::vector<int> rows);
    void ActivateLeaf(int row);

    // ---- the filters ----
    int typeIndex = 0;
    bool array = false;
    std::string nameFilter = "*";
    int accessIndex = 0;
    bool ArrayEnabled() const { return typeIndex > 0; }
    VARTYPE TypeFilter() const;
    void SetTypeIndex(int index);
    void SetArray(bool on);
    void SetNameFilter(std::string filter);
    void SetAccessIndex(int index);

    // ---- the server bar ----
    std::vector<std::string> ServerChoices() const;
    std::vector<std::string> nodeChoices{kLocal};
    std::string serverText;
    std::string nodeText = kLocal;
    bool NodeEnabled() const { return m_setup.dcom; }
    // Connect is offered unless that server on that node is shown already.
    bool ConnectEnabled() const;
    void Connect();

    // ---- for the host ----
    // The item ids of the selected leaves (a BSTR array, empty when one cannot be had);
    // VT_EMPTY without a selected branch.
    VARIANT SelectedItemIds();
    // The item's access paths as a BSTR array; VT_EMPTY when the server has none.
    VARIANT AccessPaths(const std::string& itemId);
    // The item's canonical data type as the server validates it; -1 when it cannot.
    int CanonicalType(const std::string& itemId, const std::string& accessPath);

private:
    Server* ServerOf(const Node* node) const;
    void Connect(Server& s);
    void ShowRoot(Server& s);
    // Branches at the position, each with its placeholder.
    void AddBranches(Node& parent, Server& s, VARTYPE typeFilter);
    void Append(Node* parent, std::unique_ptr<Node> child);
    void RemoveChildren(Node* parent);
    bool MoveTo(Server& s, const Node* node);
    void ReturnToRoot(Server& s);
    void Tell(UINT message);

    quillet::UiServices& m_ui;
    CBrowseSetup m_setup;
    Listener* m_listener = nullptr;
    std::vector<std::unique_ptr<Server>> m_servers;  // declared before the nodes that name them
    std::vector<std::unique_ptr<Node>> m_roots;
    Node* m_selected = nullptr;
    std::vector<std::string> m_leaves;
    bool m_leavesAreMessages = false;
    std::vector<int> m_selectedLeaves;
    std::string m_header = "Item Leaf";
};
