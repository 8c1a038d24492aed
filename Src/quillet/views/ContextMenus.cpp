#include "quillet/views/ContextMenus.h"

#include "quillet/text/ResourceIds.h"
#include "quillet/text/StringTable.h"

namespace quillet {

using namespace cmd;

const std::vector<ContextEntry>& GroupContextMenu()
{
    static const std::vector<ContextEntry> kMenu = {
        {ID_GET_STATE, IDS_CONTEXT_FIRST + 0, {}},
        {ID_ADD_GROUP, IDS_CONTEXT_FIRST + 1, {}},
        {ID_REMOVE_GROUP, IDS_CONTEXT_FIRST + 2, {}},
        {ID_ADVISE_GROUPS, IDS_CONTEXT_FIRST + 3, {}},
    };
    return kMenu;
}

const std::vector<ContextEntry>& ItemContextMenu()
{
    static const std::vector<ContextEntry> kMenu = {
        {ID_ADD_ITEM, IDS_CONTEXT_FIRST + 4, {}},
        {ID_REMOVE_ITEMS, IDS_CONTEXT_FIRST + 5, {}},
        {ID_ACTIVE_STATE, IDS_CONTEXT_FIRST + 6, {}},
        {ID_READ_FROM_CACHE, IDS_CONTEXT_FIRST + 7, {}},
        {ID_CHANGE_HANDLES, IDS_CONTEXT_FIRST + 8, {}},
        {ID_SYNC_READ, IDS_CONTEXT_FIRST + 9, {}},
        {ID_SYNC_WRITE, IDS_CONTEXT_FIRST + 10, {}},
        {0, IDS_CONTEXT_FIRST + 11,
         {
            {ID_ASYNCIO_READ, IDS_CONTEXT_FIRST + 12, {}},
            {ID_ASYNCIO_WRITE, IDS_CONTEXT_FIRST + 13, {}},
            {ID_ASYNCIO_REFRESH, IDS_CONTEXT_FIRST + 14, {}}}},
        {0, IDS_CONTEXT_FIRST + 15,
         {
            {ID_ASYNCIO2_READ, IDS_CONTEXT_FIRST + 16, {}},
            {ID_ASYNCIO2_WRITE, IDS_CONTEXT_FIRST + 17, {}},
            {ID_ASYNCIO2_REFRESH, IDS_CONTEXT_FIRST + 18, {}},
            {ID_ASYNCIO2_ENABLE, IDS_CONTEXT_FIRST + 19, {}}}},
    };
    return kMenu;
}

} // namespace quillet
