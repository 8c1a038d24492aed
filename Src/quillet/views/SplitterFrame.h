#pragma once
// A connection window without its widgets: the group tree, the item list and the log
// of one document, the log pane's layout, and the window's command table (the
// document's, the two views' and the frame's own commands). Commands the table lacks
// go to the main window's table. Application thread only.
//
// Ownership: the frame owns its three views; the application closes the document's
// groups before the frame goes, and the frame goes before the document.
#include "quillet/views/CommandTable.h"
#include "quillet/views/GroupView.h"
#include "quillet/views/ItemView.h"
#include "quillet/views/LoggerView.h"

class CQuilletDoc;

class CSplitterFrame {
public:
    static constexpr int kMinPane = 40;

    // Heights of the two rows and widths of the two upper panes, in pixels.
    struct Layout {
        int row0 = 0, row0Min = 0, row1 = 0;
        int col0 = 0, col0Min = kMinPane, col1 = 0;
        friend bool operator==(const Layout&, const Layout&) = default;
    };

    explicit CSplitterFrame(CQuilletDoc& doc);
    CSplitterFrame(const CSplitterFrame&) = delete;
    CSplitterFrame& operator=(const CSplitterFrame&) = delete;

    CQuilletDoc& Document() const { return m_doc; }
    CGroupView& Groups() { return m_groupView; }
    CItemView& Items() { return m_itemView; }
    CLoggerView& Log() { return m_loggerView; }
    const quillet::CommandTable& Commands() const { return m_commands; }

    // The client area is made: the log pane starts hidden.
    void OnCreateClient(int width, int height);
    // The frame's height now (the log pane's size follows it).
    void SetFrameHeight(int height) { m_nHeight = height; }
    // Shows or hides the log pane.
    void OnMessageLog();
    bool IsLogShown() const { return m_bLogShown; }
    const Layout& CurrentLayout() const { return m_layout; }

private:
    void AddDocumentCommands();
    void AddViewCommands();
    // The group whose subscription the advise commands change.
    CGroup* AdvisedGroup() const;

    CQuilletDoc& m_doc;
    CGroupView m_groupView;
    CItemView m_itemView;
    CLoggerView m_loggerView;
    quillet::CommandTable m_commands;
    bool m_bLogShown = false;
    int m_nHeight = 0;
    Layout m_layout;
};
