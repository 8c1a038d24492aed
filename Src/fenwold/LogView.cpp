#include "fenwold/LogView.h"

#include "fenwold/Resource.h"

bool CLogView::CommandOf(UINT nId, Command& command)
{
    static constexpr struct {
        UINT nId;
        Command value;
    } kCommands[] = {
        {fenwold::ID_VIEW_EVENTS, Command::Events},
        {fenwold::ID_VIEW_COMMANDS, Command::Commands},
        {fenwold::ID_VIEW_ERRORS, Command::Errors},
        {fenwold::ID_VIEW_ACTIONS, Command::Actions},
        {fenwold::ID_VIEW_INIT_VALUES, Command::InitValues},
        {fenwold::ID_VIEW_TRACE_DETAIL, Command::TraceDetail},
        {fenwold::ID_VIEW_TRACE_SIMPLE, Command::TraceSimple},
        {fenwold::ID_VIEW_NO_TRACE, Command::NoTrace},
        {fenwold::ID_VIEW_LOGTOFILE, Command::LogToFile},
    };
    return fenwold::CommandOfTable(kCommands, nId, command);
}

bool CLogView::OnCommand(UINT nId)
{
    Command command{};
    if (!CommandOf(nId, command))
        return false;
    OnViewCommand(command);
    return true;
}
