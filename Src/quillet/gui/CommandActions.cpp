#include "quillet/gui/CommandActions.h"

#include "quillet/text/StringTable.h"
#include "quillet/gui/QtText.h"

#include <QWidget>

namespace quillet::gui {

CommandActions::CommandActions(const StringTable& texts, const std::vector<UINT>& ids, QWidget* owner,
                               Qt::ShortcutContext context, std::function<void(UINT)> run)
{
    for (UINT id : ids) {
        const std::string_view text = texts.MenuText(id);
        auto* action = new QAction(MenuLabel(text), owner);
        action->setObjectName(IdName(id));
        // Tool tip and fly-by help (the status bar while the pointer is on it): the plain name.
        const QString plain = QString(action->text()).remove('&');
        action->setToolTip(plain);
        action->setStatusTip(plain);
        action->setShortcut(MenuShortcut(text));
        action->setShortcutContext(context);
        owner->addAction(action);
        QObject::connect(action, &QAction::triggered, owner, [run, id] { run(id); });
        m_actions[id] = action;
    }
}

QAction* CommandActions::Action(UINT id) const
{
    auto it = m_actions.find(id);
    return it == m_actions.end() ? nullptr : it->second;
}

void CommandActions::Update(std::initializer_list<const CommandTable*> tables)
{
    for (auto& [id, action] : m_actions) {
        const CommandTable* table = CommandTable::Holder(id, tables);
        if (!table) continue;
        const CommandState state = table->State(id);
        action->setEnabled(state.enabled);
        action->setCheckable(table->IsCheckable(id));
        if (action->isCheckable()) action->setChecked(state.checked);
    }
}

} // namespace quillet::gui
