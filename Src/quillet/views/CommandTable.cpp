#include "quillet/views/CommandTable.h"

#include <algorithm>

namespace quillet {

void CommandTable::Add(UINT id, Handler run, Rule enabled, Rule checked)
{
    m_commands.push_back({id, std::move(run), std::move(enabled), std::move(checked)});
}

void CommandTable::AddDisabled(UINT id, Rule checked)
{
    Add(id, {}, [] { return false; }, std::move(checked));
}

const CommandTable::Command* CommandTable::Find(UINT id) const
{
    auto it = std::find_if(m_commands.begin(), m_commands.end(), [&](const Command& c) { return c.id == id; });
    return it == m_commands.end() ? nullptr : &*it;
}

bool CommandTable::Has(UINT id) const { return Find(id) != nullptr; }

bool CommandTable::IsCheckable(UINT id) const
{
    const Command* c = Find(id);
    return c && c->checked;
}

CommandState CommandTable::State(UINT id) const
{
    const Command* c = Find(id);
    if (!c) return {};
    return {!c->enabled || c->enabled(), c->checked && c->checked()};
}

bool CommandTable::Run(UINT id) const
{
    const Command* c = Find(id);
    if (!c || !c->run || !State(id).enabled) return false;
    // The handler may rebuild the window's state; it runs from a copy.
    Handler run = c->run;
    run();
    return true;
}

std::vector<UINT> CommandTable::Ids() const
{
    std::vector<UINT> ids;
    for (const Command& c : m_commands) ids.push_back(c.id);
    return ids;
}

const CommandTable* CommandTable::Holder(UINT id, std::initializer_list<const CommandTable*> tables)
{
    for (const CommandTable* table : tables)
        if (table && table->Has(id)) return table;
    return nullptr;
}

} // namespace quillet
