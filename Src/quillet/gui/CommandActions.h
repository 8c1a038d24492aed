#pragma once
// One QAction per command id of a window, with the menu text's mnemonic and shortcut;
// choosing one runs the command through the window's routing, and the states follow
// the command tables' rules.
#include "quillet/views/CommandTable.h"

#include <QAction>

#include <functional>
#include <initializer_list>
#include <map>
#include <vector>

namespace quillet {
class StringTable;

namespace gui {

class CommandActions {
public:
    // The actions belong to owner; their shortcuts work in the given context.
    CommandActions(const StringTable& texts, const std::vector<UINT>& ids, QWidget* owner, Qt::ShortcutContext context,
                   std::function<void(UINT)> run);
    QAction* Action(UINT id) const;
    // Each action takes its state from the first table that holds its id.
    void Update(std::initializer_list<const CommandTable*> tables);

private:
    std::map<UINT, QAction*> m_actions;
};

} // namespace gui
} // namespace quillet
