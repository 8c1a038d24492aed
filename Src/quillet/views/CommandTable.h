#pragma once
// The commands of one window: each id with its handler and its update rule (enabled,
// checked). The window keeps one action per id, runs the handler when it is chosen
// and asks for the states after every command and on its refresh tick. Used on the
// application thread only.
#include "platform/win/WinTypes.h"

#include <functional>
#include <initializer_list>
#include <vector>

namespace quillet {

struct CommandState {
    bool enabled = false;
    bool checked = false;
    friend bool operator==(const CommandState&, const CommandState&) = default;
};

class CommandTable {
public:
    using Handler = std::function<void()>;
    using Rule = std::function<bool()>;

    // Adds id; without a rule a command is always enabled and never checked.
    void Add(UINT id, Handler run, Rule enabled = {}, Rule checked = {});
    // Adds id disabled with no handler (shown greyed).
    void AddDisabled(UINT id, Rule checked = {});
    bool Has(UINT id) const;
    // The command shows a check mark (it has a check rule).
    bool IsCheckable(UINT id) const;
    // Disabled and unchecked for an id the table does not hold.
    CommandState State(UINT id) const;
    // Runs the handler when the command is enabled; false when it was not run.
    bool Run(UINT id) const;
    std::vector<UINT> Ids() const;
    // The first of the tables (nulls skipped) that holds id, whose handler and states
    // are the command's; null when none does.
    static const CommandTable* Holder(UINT id, std::initializer_list<const CommandTable*> tables);

private:
    struct Command {
        UINT id;
        Handler run;
        Rule enabled;
        Rule checked;
    };
    const Command* Find(UINT id) const;

    std::vector<Command> m_commands;
};

} // namespace quillet
