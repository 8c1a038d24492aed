#pragma once
// The program's resource ids: its menu commands beside the framework's
// standard ones (kestrun/shell/app/ShellIds.h), the menus' own ids and the forms.
#include "kestrun/shell/app/ShellIds.h"

namespace fenwold {

// The menu, toolbar and document template resource; the data view's form.
inline constexpr UINT IDR_MAINFRAME = 128;
inline constexpr UINT IDD_FENWOLD_FORM = 101;
inline constexpr UINT IDC_LB_DEVICEINFO = 1008; // "Topic Info"
inline constexpr UINT IDC_LB_MEMORYINFO = 1009; // "Item Info"

// Commands of the program's menu ("Options..." is the framework's ID_EDIT_OPTION).
enum : UINT {
    ID_FILE_IMPORT = 32772,
    ID_FILE_EXPORT = 32773,
    ID_CONFIG_SELECT_TOPIC = 32774,
    ID_CONFIG_SELECT_ITEM = 32775,
    ID_CONFIG_EDIT_DEVICE = 32776,
    ID_CONFIG_EDIT_MEMORY = 32777,
    ID_CONFIG_NEW_DEVICE = 32778,
    ID_CONFIG_NEW_MEMORY = 32779,
    ID_CONFIG_DELETE_DEVICE = 32780,
    ID_CONFIG_DELETE_MEMORY = 32781,
    ID_SERIAL_SETUP = 32782,
    ID_SET_TIMEOUT = 32783,
    ID_COMMAND_DIAG = 32784,
    ID_REDUNDANCY = 32785,
    ID_VIEW_EVENTS = 32786,
    ID_VIEW_COMMANDS = 32787,
    ID_VIEW_ERRORS = 32788,
    ID_VIEW_ACTIONS = 32789,
    ID_VIEW_INIT_VALUES = 32790,
    ID_VIEW_TRACE_DETAIL = 32791,
    ID_VIEW_TRACE_SIMPLE = 32792,
    ID_VIEW_NO_TRACE = 32793,
    ID_VIEW_LOGTOFILE = 32794,
};

// The menus themselves (their captions in the string tables).
enum : UINT {
    IDM_FILE = 33001,
    IDM_EDIT,
    IDM_CONFIG,
    IDM_MODE,
    IDM_VIEW,
    IDM_VIEW_TRACES,
    IDM_HELP,
};

// The value a table of {nId, value} rows gives a command; false for none.
template <class Rows, class Value>
bool CommandOfTable(const Rows& rows, UINT nId, Value& value)
{
    for (const auto& row : rows) {
        if (row.nId == nId) {
            value = row.value;
            return true;
        }
    }
    return false;
}

} // namespace fenwold
