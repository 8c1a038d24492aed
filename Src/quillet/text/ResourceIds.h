#pragma once
// Ids of commands, dialogs and dialog controls. Each kind has its own namespace: the
// same number may be a command in one and a control in another. String ids live with
// the string table (StringTable.h).
#include "platform/win/WinTypes.h"

namespace quillet::cmd {

// Main window.
inline constexpr UINT ID_FILE_NEW = 57600;
inline constexpr UINT ID_FILE_OPEN = 57601;
inline constexpr UINT ID_FILE_CLOSE = 57602;
inline constexpr UINT ID_FILE_SAVE = 57603;
inline constexpr UINT ID_FILE_SAVE_AS = 57604;
inline constexpr UINT ID_EDIT_COPY = 57634;
inline constexpr UINT ID_APP_ABOUT = 57664;
inline constexpr UINT ID_APP_EXIT = 57665;  // the main window's own
inline constexpr UINT ID_SERVER_CONNECT = 32771;
inline constexpr UINT ID_FILE_MRU_FIRST = 32830;  // 32830..32834
inline constexpr UINT ID_FILE_MRU_LAST = 32834;
inline constexpr UINT ID_MESSAGE_LOG = 32835;

// Connection window: document.
inline constexpr UINT ID_SERVER_STATUS = 32773;
inline constexpr UINT ID_ADD_GROUP = 32774;
inline constexpr UINT ID_REMOVE_GROUP = 32775;
inline constexpr UINT ID_GET_GROUP_BY_NAME = 32802;
inline constexpr UINT ID_GET_ERROR_STRING = 32803;
inline constexpr UINT ID_GROUP_ENUM = 32806;
inline constexpr UINT ID_EXPERT_MODE = 32809;
inline constexpr UINT ID_ENABLE_LOG_VIEW = 32817;
inline constexpr UINT ID_CONFIGURE_LOGGER = 32818;
inline constexpr UINT ID_DISPLAY_MESSAGES = 32819;
inline constexpr UINT ID_CLEAR_LOG = 32820;
inline constexpr UINT ID_ADVISE_NONE = 32821;
inline constexpr UINT ID_ADVISE_CONNECTIONPOINT = 32822;
inline constexpr UINT ID_ADVISE_DATAOBJECT_TIME = 32823;
inline constexpr UINT ID_ADVISE_DATAOBJECT = 32824;
inline constexpr UINT ID_ASYNCIO2_WRITE = 32826;
inline constexpr UINT ID_ASYNCIO2_REFRESH = 32827;
inline constexpr UINT ID_ASYNCIO2_ENABLE = 32828;
inline constexpr UINT ID_ASYNCIO2_READ = 32829;

// Connection window: group view.
inline constexpr UINT ID_GET_STATE = 32777;
inline constexpr UINT ID_ADVISE_GROUPS = 32780;  // on the context menu; no handler
inline constexpr UINT ID_COUNTER_RESET = 32793;
inline constexpr UINT ID_ENUMERATE_ITEMS = 32814;
inline constexpr UINT ID_MMI_EMULATION = 32815;
inline constexpr UINT ID_CONFIGURE_EVENTS = 32816;

// Connection window: item view.
inline constexpr UINT ID_ADD_ITEM = 32782;
inline constexpr UINT ID_REMOVE_ITEMS = 32783;
inline constexpr UINT ID_SET_DATATYPE = 32787;
inline constexpr UINT ID_SYNC_READ = 32788;
inline constexpr UINT ID_SYNC_WRITE = 32789;
inline constexpr UINT ID_ASYNCIO_READ = 32790;
inline constexpr UINT ID_ASYNCIO_WRITE = 32791;
inline constexpr UINT ID_ASYNCIO_REFRESH = 32799;
inline constexpr UINT ID_READ_FROM_CACHE = 32800;
inline constexpr UINT ID_IMPORT_ITEMS = 32804;
inline constexpr UINT ID_ITEM_COLUMNS = 32805;
inline constexpr UINT ID_ACTIVE_STATE = 32810;
inline constexpr UINT ID_CHANGE_HANDLES = 32812;
inline constexpr UINT ID_VIEW_UPDATE_TIMER = 32813;

} // namespace quillet::cmd

namespace quillet::dlg {

inline constexpr UINT IDD_ABOUT = 100;
inline constexpr UINT IDD_SELECT_SERVER = 130;
inline constexpr UINT IDD_ADD_GROUP = 131;
inline constexpr UINT IDD_ADD_ITEM = 132;
inline constexpr UINT IDD_WRITE_ITEM = 144;
inline constexpr UINT IDD_GROUP_BY_NAME = 149;
inline constexpr UINT IDD_ERROR_STRING = 150;
inline constexpr UINT IDD_SERVER_STATUS = 151;
inline constexpr UINT IDD_SELECT_COLUMNS = 152;
inline constexpr UINT IDD_GROUP_ENUM = 153;
inline constexpr UINT IDD_GROUP_STATE = 154;
inline constexpr UINT IDD_CLIENT_HANDLES = 163;
inline constexpr UINT IDD_UPDATE_TIMER = 164;
inline constexpr UINT IDD_DATA_TYPE = 165;
inline constexpr UINT IDD_ITEM_ENUM = 166;
inline constexpr UINT IDD_VALIDATION_RESULTS = 167;
inline constexpr UINT IDD_ITEM_STATE = 168;
inline constexpr UINT IDD_MMI_EMULATION = 170;
inline constexpr UINT IDD_EVENT_TRIGGERS = 172;
inline constexpr UINT IDD_EVENT_CONFIG = 173;
inline constexpr UINT IDD_LOG_CONFIG = 176;
inline constexpr UINT IDD_ITEM_PROPERTIES = 182;
inline constexpr UINT IDD_ENUM_SERVERS = 183;

} // namespace quillet::dlg

namespace quillet::ctl {

// Every dialog.
inline constexpr UINT IDC_CAPTION = 0;  // the dialog's title, for the text tables
inline constexpr UINT IDOK = 1;
inline constexpr UINT IDCANCEL = 2;

// Select an OPC Server.
inline constexpr UINT IDC_LOCATED_SERVERS = 1000;
inline constexpr UINT IDC_PROGID = 1001;
inline constexpr UINT IDC_NODE = 1014;
inline constexpr UINT IDC_NODE_LABEL = 1015;
inline constexpr UINT IDC_BROWSE = 1105;

// Enumerate OPC Servers.
inline constexpr UINT IDC_CONNECT = 3;
inline constexpr UINT IDC_ENUM_NODE = 1108;
inline constexpr UINT IDC_SERVERS_10 = 1106;
inline constexpr UINT IDC_SERVERS_20 = 1107;
inline constexpr UINT IDC_SERVER_LIST = 1021;

// Server Status: the eight texts and their labels (label = text + 100).
inline constexpr UINT IDC_STATUS_VENDOR = 1200;
inline constexpr UINT IDC_STATUS_VERSION = 1201;
inline constexpr UINT IDC_STATUS_STATE = 1202;
inline constexpr UINT IDC_STATUS_GROUPS = 1203;
inline constexpr UINT IDC_STATUS_BANDWIDTH = 1204;
inline constexpr UINT IDC_STATUS_START_TIME = 1205;
inline constexpr UINT IDC_STATUS_CURRENT_TIME = 1206;
inline constexpr UINT IDC_STATUS_LAST_UPDATE = 1207;
inline constexpr UINT kStatusLabelOffset = 100;

// Select Columns.
inline constexpr UINT IDC_DISABLED_COLUMNS = 1021;
inline constexpr UINT IDC_ENABLED_COLUMNS = 1022;

// Change View Update Timer.
inline constexpr UINT IDC_PERIOD = 1049;
inline constexpr UINT IDC_PERIOD_TEXT = 1051;

// Configure Log: the check boxes 1075..1092 (one per category) and the file.
inline constexpr UINT IDC_LOG_FIRST_CHECK = 1075;
inline constexpr UINT IDC_LOG_LAST_CHECK = 1092;
inline constexpr UINT IDC_LOG_BROWSE = 1097;
inline constexpr UINT IDC_LOG_PATH = 32811;

// MMI Emulation Configuration.
inline constexpr UINT IDC_MMI_ENABLE = 1064;
inline constexpr UINT IDC_MMI_SECONDS = 1065;
inline constexpr UINT IDC_MMI_ONLY_DISPLAYED = 1066;
inline constexpr UINT IDC_MMI_SECONDS_LABEL = 1067;

// Dialogs' own texts without a control of their own.
inline constexpr UINT IDC_STATIC_TEXT = 0xFFFF;
// Lists and messages shared by several dialogs.
inline constexpr UINT IDC_LIST = 1021;
inline constexpr UINT IDC_MESSAGE = 32811;

// Add New Group.
inline constexpr UINT IDC_GROUP_NAME = 1002;
inline constexpr UINT IDC_GROUP_ACTIVE = 1003;
inline constexpr UINT IDC_GROUP_RATE = 1005;
inline constexpr UINT IDC_GROUP_TIME_BIAS = 1006;
inline constexpr UINT IDC_GROUP_DEADBAND = 1007;
inline constexpr UINT IDC_GROUP_MEASURE_RATE = 1013;
inline constexpr UINT IDC_GROUP_ALLOW_TIMEOUT = 1016;
inline constexpr UINT IDC_GROUP_TIMESTAMPS = 1027;
inline constexpr UINT IDC_GROUP_ADVISE = 1100;

// Add New OPC Item, and its address-space browser (101) with the browser's controls.
inline constexpr UINT IDC_ADD_ITEM = 3;
inline constexpr UINT IDC_VALIDATE = 4;
inline constexpr UINT IDC_ITEM_ACTIVE = 1003;
inline constexpr UINT IDC_ACCESS_PATH = 1009;
inline constexpr UINT IDC_ITEM_NAME = 1010;
inline constexpr UINT IDC_DATA_TYPE = 1012;
inline constexpr UINT IDC_ITEM_ARRAY = 1013;
inline constexpr UINT IDC_ITEM_PROPERTIES = 1102;
inline constexpr UINT IDC_ACCESS_RIGHTS = 1111;
inline constexpr UINT IDC_BROWSER = 101;
inline constexpr UINT IDC_BROWSE_TREE = 2001;
inline constexpr UINT IDC_BROWSE_LEAVES = 2002;
inline constexpr UINT IDC_BROWSE_SERVER = 2003;
inline constexpr UINT IDC_BROWSE_NODE = 2004;
inline constexpr UINT IDC_BROWSE_CONNECT = 2005;
inline constexpr UINT IDC_BROWSE_TYPE = 2006;
inline constexpr UINT IDC_BROWSE_ARRAY = 2007;
inline constexpr UINT IDC_BROWSE_FILTER = 2008;
inline constexpr UINT IDC_BROWSE_ACCESS = 2009;

// Write Item.
inline constexpr UINT IDC_WRITE_VALUE = 1023;
inline constexpr UINT IDC_SERVER_HANDLE = 1025;
inline constexpr UINT IDC_ELEMENTS = 1059;
inline constexpr UINT IDC_WRITE_ARRAY = 1060;
inline constexpr UINT IDC_WRITE_LENGTH = 1061;

// Item State.
inline constexpr UINT IDC_STATE_ACTIVE = 1058;
inline constexpr UINT IDC_STATE_INACTIVE = 3;

// Change Data Type.
inline constexpr UINT IDC_TYPE_LIST = 1052;
inline constexpr UINT IDC_TYPE_ITEM_ID = 1053;
inline constexpr UINT IDC_TYPE_ARRAY = 1054;

// Item Enumeration: the fields 1055..1063 in this order, and "Clone".
inline constexpr UINT IDC_ENUM_ACCESS_PATH = 1055;
inline constexpr UINT IDC_ENUM_ITEM_ID = 1056;
inline constexpr UINT IDC_ENUM_ACTIVE = 1057;
inline constexpr UINT IDC_ENUM_CLIENT_HANDLE = 1058;
inline constexpr UINT IDC_ENUM_SERVER_HANDLE = 1059;
inline constexpr UINT IDC_ENUM_ACCESS_RIGHTS = 1060;
inline constexpr UINT IDC_ENUM_BLOB_SIZE = 1061;
inline constexpr UINT IDC_ENUM_REQUESTED_TYPE = 1062;
inline constexpr UINT IDC_ENUM_CANONICAL_TYPE = 1063;
inline constexpr UINT IDC_ENUM_CLONE = 1095;

// Item Properties.
inline constexpr UINT IDC_PROPERTIES_ITEM_ID = 1103;
inline constexpr UINT IDC_PROPERTIES_LIST = 1104;

// Get Group by Name.
inline constexpr UINT IDC_GROUP_NAMES = 32807;
inline constexpr UINT IDC_TEST = 1041;
inline constexpr UINT IDC_RETURNED = 1042;

// Group Enumeration.
inline constexpr UINT IDC_ENUM_SCOPE = 32812;
inline constexpr UINT IDC_ENUM_KIND = 1046;
inline constexpr UINT IDC_BUILD_LIST = 32810;
inline constexpr UINT IDC_CLEAR_LIST = 32815;
inline constexpr UINT IDC_ENUM_LINES = 32807;

// Group State.
inline constexpr UINT IDC_STATE_NAME = 32816;
inline constexpr UINT IDC_STATE_RATE = 32817;
inline constexpr UINT IDC_STATE_TIME_BIAS = 32818;
inline constexpr UINT IDC_STATE_IS_ACTIVE = 32819;
inline constexpr UINT IDC_STATE_DEADBAND = 32820;
inline constexpr UINT IDC_STATE_LCID = 32821;
inline constexpr UINT IDC_STATE_CLIENT_HANDLE = 32822;
inline constexpr UINT IDC_STATE_SERVER_HANDLE = 32823;
inline constexpr UINT IDC_EDIT_GROUP = 32824;
inline constexpr UINT IDC_APPLY = 32825;
inline constexpr UINT IDC_CHANGE = 1045;

// Configure Event Triggers for Group, and Configure Event.
inline constexpr UINT IDC_ADD_EVENT = 3;
inline constexpr UINT IDC_EDIT_EVENT = 4;
inline constexpr UINT IDC_REMOVE_EVENT = 5;
inline constexpr UINT IDC_EVENT_NAME = 1068;
inline constexpr UINT IDC_EVENT_TYPE = 1070;
inline constexpr UINT IDC_EVENT_INTERVAL = 1071;
inline constexpr UINT IDC_EVENT_ONLY_ACTIVE = 1074;

// About.
inline constexpr UINT IDC_ABOUT_VERSION = 1200;

} // namespace quillet::ctl
