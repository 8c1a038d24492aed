#include "kestrun/shell/server/LogHints.h"

#include <cstring>
#include <iterator>

#include "kestrun/comm/handler/EngineMessages.h"
#include "kestrun/model/DataType.h"
#include "kestrun/model/DeviceObject.h"
#include "kestrun/model/Hint.h"
#include "kestrun/model/MemoryArray.h"
#include "kestrun/model/MemoryObject.h"
#include "kestrun/model/MemoryVariant.h"
#include "platform/dde/BrisantBlocks.h"
#include "platform/win/NumberText.h"

namespace kestrun {

namespace {

constexpr const char* kActionNames[] = {
    "GET_REG_INFO",          "STARTUP",               "SHUTDOWN",
    "DDE_EXECUTE_STRING",    "END_OF_BLOCK",          "DESTROY_TOPIC",
    "DEFINE_MAXTIME_FOR_WAIT", "TIMER_FIRED",         "ITEM_START",
    "ITEM_STOP",             "ITEM_DESTROY",          "ITEM_GENERATE",
    "ITEM_DATA",             "TOPIC_GENERATE",        "ITEM_BUILD_DATA",
    "CLIENT_COUNT_CHANGE",   "ITEM_AN_IMM_REQUEST",   "GET_FIRST_TOPIC",
    "GET_NEXT_TOPIC",        "GET_ERROR_DATA",        "TOOLKIT_ERROR",
    "SYSTEM_REQUEST",        "CLIENT_APP",            "OPC_GETSERVERSTATUS",
    "QUERY_DATATYPE",        "OPC_CLIENT_CONNECT",    "OPC_CLIENT_DISCONNECT",
    "OPC_ITEMTIME_GENERATE", "OPC_ITEMTIME_DESTROY",  "OPC_GROUP_GENERATE",
    "OPC_GROUP_DESTROY",     "OPC_GET_BROWSE_INFO",
};

constexpr const char* kNull = "(null)";

template <typename T>
T Element(const BYTE* block, DWORD i)
{
    T value{};
    std::memcpy(&value, dde::ArrayElements(block) + i * sizeof(T), sizeof value);
    return value;
}

std::string CountedText(const BYTE* block)
{
    if (!block || dde::CountedLength(block) <= 0)
        return {};
    return std::string(dde::CountedChars(block), static_cast<std::size_t>(dde::CountedLength(block)));
}

std::string ArrayString(const BYTE* block, int nType)
{
    if (!IsArrayBlockSound(nType, block))
        return {};
    std::string text;
    const DWORD count = dde::ArrayCount(block);
    for (DWORD i = 0; i < count; ++i) {
        switch (nType) {
        case BRISANT_BOOLARRAY: text += Element<LONG>(block, i) ? "On|" : "Off|"; break;
        case BRISANT_SHORTARRAY: text += std::to_string(Element<SHORT>(block, i)) + "|"; break;
        case BRISANT_STRINGARRAY: {
            const char* element = Element<const char*>(block, i);
            text += std::string(element ? element : kNull) + "|";
            break;
        }
        case BRISANT_FIXEDSTRINGARRAY: {
            const BYTE* element = Element<const BYTE*>(block, i);
            text += element && dde::CountedLength(element) > 0 ? CountedText(element) + "|" : " |";
            break;
        }
        default: return {};
        }
    }
    return text;
}

// The names a value hint prints: the device of the point's block, the point's
// key name and, for a variant, its type word.
struct PointNames {
    bool bPoint = false;
    bool bVariant = false;
    std::string device;
    std::string point;
    std::string typeWord;
};

PointNames NamesOf(const CdsHint& hint)
{
    PointNames names;
    auto* pPoint = dynamic_cast<CdsMemoryObject*>(hint.m_pObject);
    if (!pPoint)
        return names;
    names.bPoint = true;
    names.point = pPoint->GetPseudoName();
    if (CdsMemoryArray* pBlock = pPoint->GetParent(); pBlock && pBlock->GetParent())
        names.device = pBlock->GetParent()->m_strName;
    if (auto* pVariant = dynamic_cast<CdsMemoryVariant*>(pPoint)) {
        names.bVariant = true;
        names.typeWord = pVariant->GetTypeCode();
    }
    return names;
}

// "[device]point" or, for a variant, "[device]point type".
std::string PointText(const PointNames& names)
{
    std::string text = "[" + names.device + "]" + names.point;
    if (names.bVariant)
        text += " " + names.typeWord;
    return text;
}

// "<prefix> [device]point <- value<suffix>"; a variant has no blank before "<-".
std::string ValueLine(const char* prefix, const CdsHint& hint, const char* suffix)
{
    const PointNames names = NamesOf(hint);
    const std::string value = GetValueString(hint.GetValue(), hint.GetValueType());
    return std::string(prefix) + PointText(names) + (names.bVariant ? "<- " : " <- ") + value + suffix;
}

std::string DeviceName(const CdsHint& hint)
{
    auto* pDevice = dynamic_cast<CdsDeviceObject*>(hint.m_pObject);
    return pDevice ? pDevice->m_strName : std::string();
}

std::string ActionText(int nAction) { return GetActionName(nAction) ? GetActionName(nAction) : kNull; }

// The tail of an action line after its name: the first text, both texts, or a line end.
std::string ActionTail(int nAction, const CdsHint& hint, bool bBothTexts)
{
    if (nAction == 5 || nAction == 13)
        return " = [" + hint.m_strTopic + "]\r\n";
    if (bBothTexts) {
        if (hint.m_strTopic.empty())
            return " = " + hint.m_strItem + "\r\n";
        return " = [" + hint.m_strTopic + "]" + hint.m_strItem + "\r\n";
    }
    return "\r\n";
}

bool NeedsRecordForTail(int nAction, bool bBothTexts) { return nAction == 5 || nAction == 13 || bBothTexts; }

std::optional<HintLine> ActionLine(int nCode, const CdsHint* pHint)
{
    const int nAction = nCode - HINT_ACTION_BASE;
    const bool bBoth = nAction >= 8 && nAction <= 11;
    std::string text = std::to_string(nAction) + " (" + ActionText(nAction) + ")";
    if (pHint || !NeedsRecordForTail(nAction, bBoth))
        text += pHint ? ActionTail(nAction, *pHint, bBoth) : std::string("\r\n");
    return HintLine{LOG_ACTION, text};
}

std::optional<HintLine> FailedActionLine(const CdsHint* pHint)
{
    if (!pHint)
        return HintLine{LOG_ERROR, {}};
    const int nAction = pHint->m_nNumber;
    const bool bBoth = nAction == 10 || nAction == 11;
    return HintLine{LOG_ERROR, "Action " + std::to_string(nAction) + "(" + ActionText(nAction) + ") failed!" +
                                   ActionTail(nAction, *pHint, bBoth)};
}

std::string DdeCommandLine(const char* prefix, const CdsHint& hint)
{
    return std::string(prefix) + "[" + hint.m_strTopic + "]" + hint.m_strItem + " <- " +
           GetValueString(hint.GetAction()) + "\r\n";
}

// "<line> ... N more like this in the last minute", the line end kept last.
void AddRepeats(std::string& text, int nRepeats)
{
    const bool bEnd = text.ends_with("\r\n");
    if (bEnd)
        text.resize(text.size() - 2);
    text += " ... " + std::to_string(nRepeats) + " more like this in the last minute";
    if (bEnd)
        text += "\r\n";
}

std::optional<HintLine> ErrorLine(int nCode, const CdsHint* pHint)
{
    if (nCode == HINT_ACTION_FAILED)
        return FailedActionLine(pHint);
    if (!pHint)
        return HintLine{LOG_ERROR, {}};
    const CdsHint& hint = *pHint;
    switch (nCode) {
    case HINT_COMMAND_FAILED:
        return HintLine{LOG_ERROR, DdeCommandLine("Command failed! ", hint)};
    case HINT_STORE_FAILED:
    case HINT_STORE_FAILED_2:
        return HintLine{LOG_ERROR, ValueLine("New data ", hint, " Failed!\r\n")};
    case HINT_INVALID_INDEX:
        return HintLine{LOG_ERROR, "Invalid index " + std::to_string(hint.m_nNumber) + "!\r\n"};
    case HINT_INVALID_STATUS_QUERY: {
        auto* pBlock = dynamic_cast<CdsMemoryArray*>(hint.m_pObject);
        if (pBlock && pBlock->IsSystemArray())
            return std::nullopt;
        const std::string device = pBlock && pBlock->GetParent() ? pBlock->GetParent()->m_strName : std::string();
        const std::string addr = pBlock ? pBlock->GetAddr() : std::string();
        const int option = pBlock ? pBlock->GetTypeDataWord() : 0;
        return HintLine{LOG_ERROR, "Invalid Status Query [" + device + "]" + addr +
                                       " (length = " + std::to_string(option) + ")\r\n"};
    }
    case HINT_INVALID_COMMAND_QUERY: {
        auto* pPoint = dynamic_cast<CdsMemoryObject*>(hint.m_pObject);
        if (pPoint && pPoint->IsSystemObject())
            return std::nullopt;
        const PointNames names = NamesOf(hint);
        return HintLine{LOG_ERROR, "Invalid Command Query [" + names.device + "]" + names.point + "\r\n"};
    }
    case HINT_COMMAND_MISMATCH: {
        const PointNames names = NamesOf(hint);
        CdsMemoryArray* pBlock = names.bPoint ? static_cast<CdsMemoryObject*>(hint.m_pObject)->GetParent() : nullptr;
        const long validate = pBlock && pBlock->GetParent() ? pBlock->GetParent()->m_nCommandDiagValidateTime : 0;
        return HintLine{LOG_ERROR, ValueLine("New status ", hint, " not match command within ") +
                                       std::to_string(validate) + " (msecs)!\r\n"};
    }
    case HINT_INVALID_MONITOR_QUERY:
        return HintLine{LOG_ERROR, "Invalid Monitor Query [" + DeviceName(hint) + "]\r\n"};
    case HINT_WRITE_REFUSED: {
        const PointNames names = NamesOf(hint);
        const std::string reason = hint.m_strReason.empty() ? std::string() : ": " + hint.m_strReason;
        if (names.bPoint)
            return HintLine{LOG_ERROR, "Command failed! " + PointText(names) + reason + "\r\n"};
        // A poke refused before it reached a point still names its item.
        if (!hint.m_strItem.empty())
            return HintLine{LOG_ERROR, "Command failed! [" + hint.m_strTopic + "]" + hint.m_strItem + reason + "\r\n"};
        return HintLine{LOG_ERROR, "Command failed!" + reason + "\r\n"};
    }
    default:
        return std::nullopt;
    }
}

std::optional<HintLine> InfoLine(int nCode, const CdsHint* pHint)
{
    switch (nCode) {
    case HINT_MODE_ONLINE:
        return HintLine{LOG_INFO, "Mode to Online\r\n"};
    case HINT_MODE_OFFLINE:
        return HintLine{LOG_INFO, "Mode to Offline\r\n"};
    case HINT_IMPORT:
    case HINT_EXPORT:
    case HINT_TOPIC_ADDED:
    case HINT_ITEM_ADDED:
    case HINT_COMMAND_DIAG_CHANGED:
    case HINT_REDUNDANCY_CHANGED:
        break;
    default:
        return std::nullopt;
    }
    if (!pHint)
        return HintLine{LOG_INFO, {}};
    const CdsHint& hint = *pHint;
    switch (nCode) {
    case HINT_IMPORT:
        return HintLine{LOG_INFO, "Importing from file " + hint.m_strTopic + "\r\n"};
    case HINT_EXPORT:
        return HintLine{LOG_INFO, "Exporting to file " + hint.m_strTopic + "\r\n"};
    case HINT_TOPIC_ADDED:
        return HintLine{LOG_INFO, "Topic [" + hint.m_strTopic + "] added\r\n"};
    case HINT_ITEM_ADDED:
        return HintLine{LOG_INFO, "Item [" + hint.m_strTopic + "]" + hint.m_strItem + " added\r\n"};
    case HINT_COMMAND_DIAG_CHANGED: {
        auto* pDevice = dynamic_cast<CdsDeviceObject*>(hint.m_pObject);
        if (pDevice && pDevice->IsCommandDiagEnabled())
            return HintLine{LOG_INFO, "Device [" + pDevice->m_strName + "] has new command diag time " +
                                          std::to_string(pDevice->m_nCommandDiagValidateTime) + " (msecs)\r\n"};
        return HintLine{LOG_INFO, "Device [" + DeviceName(hint) + "] turn off the command diagnostic function\r\n"};
    }
    default: { // HINT_REDUNDANCY_CHANGED
        auto* pDevice = dynamic_cast<CdsDeviceObject*>(hint.m_pObject);
        const bool bEnabled = pDevice && pDevice->m_bAutoSwitching;
        return HintLine{LOG_INFO,
                        "Device [" + DeviceName(hint) + "] redundancy " + (bEnabled ? "enabled" : "disabled") + "\r\n"};
    }
    }
}

} // namespace

const char* GetActionName(int nAction)
{
    if (nAction < 0 || nAction >= static_cast<int>(std::size(kActionNames)))
        return nullptr;
    return kActionNames[nAction];
}

std::string GetValueString(const _BRISANTDATAVALUE& value, int nDataType)
{
    switch (nDataType) {
    case BRISANT_BOOL: return value.boolVal ? "On" : "Off";
    case BRISANT_CHAR: return value.cVal ? std::string(1, static_cast<char>(value.cVal)) : std::string();
    case BRISANT_BYTE: return std::to_string(value.bVal);
    case BRISANT_SHORT: return std::to_string(value.iVal);
    case BRISANT_LONG: return std::to_string(value.lVal);
    case BRISANT_WORD: return std::to_string(value.wVal);
    case BRISANT_DWORD: return std::to_string(value.dwVal);
    case BRISANT_FLOAT: return win::FixedText(value.fltVal);
    case BRISANT_DOUBLE: return win::FixedText(value.dblVal);
    // Only a missing text is "(null)": an empty one is logged as the empty text it is.
    case BRISANT_STRING: return value.pszVal ? std::string(value.pszVal) : std::string(kNull);
    case BRISANT_FIXEDSTRING: return value.pcsVal ? CountedText(value.pcsVal) : std::string(kNull);
    case BRISANT_BOOLARRAY:
    case BRISANT_SHORTARRAY:
    case BRISANT_STRINGARRAY:
    case BRISANT_FIXEDSTRINGARRAY: return value.parrVal ? ArrayString(value.parrVal, nDataType) : std::string();
    default: return dde::IsArrayType(nDataType) ? std::string() : std::string("???");
    }
}

std::string GetValueString(const _BRISANT_DATAACTION* pAction)
{
    return pAction ? GetValueString(pAction->value, pAction->nDataType) : std::string();
}

std::optional<HintLine> FormatHintLine(int nCode, const CdsHint* pHint, const LogFilters& filters)
{
    switch (nCode / 100) {
    case 1:
        if (nCode == HINT_VALUE_CHANGED || nCode == HINT_VALUE_CHANGED_2) {
            if (!filters.events)
                return std::nullopt;
            return HintLine{LOG_EVENT, pHint ? ValueLine("New data ", *pHint, "\r\n") : std::string()};
        }
        if (nCode == HINT_INITIAL_VALUE || nCode == HINT_INITIAL_VALUE_2) {
            if (!filters.initValues)
                return std::nullopt;
            return HintLine{LOG_EVENT, pHint ? ValueLine("Initial data ", *pHint, "\r\n") : std::string()};
        }
        return std::nullopt;
    case 2:
        if (nCode > HINT_ACTION_BASE + 31 || !filters.actions)
            return std::nullopt;
        return ActionLine(nCode, pHint);
    case 3:
        if (!filters.commands)
            return std::nullopt;
        if (nCode == HINT_ONLINE)
            return HintLine{LOG_COMMAND, "Online requested\r\n"};
        if (nCode == HINT_COMMAND_DONE)
            return HintLine{LOG_COMMAND, pHint ? DdeCommandLine("New command ", *pHint) : std::string()};
        if (nCode == HINT_WRITE_QUEUED) {
            if (!pHint)
                return HintLine{LOG_COMMAND, {}};
            if (!dynamic_cast<CdsMemoryObject*>(pHint->m_pObject))
                return HintLine{LOG_COMMAND, "New command <- " +
                                                 GetValueString(pHint->GetValue(), pHint->GetValueType()) + "\r\n"};
            return HintLine{LOG_COMMAND, ValueLine("New command ", *pHint, "\r\n")};
        }
        return std::nullopt;
    case 4: {
        if (!filters.errors)
            return std::nullopt;
        std::optional<HintLine> line = ErrorLine(nCode, pHint);
        if (line && pHint && pHint->m_nRepeats > 0)
            AddRepeats(line->text, pHint->m_nRepeats);
        return line;
    }
    case 5:
        return filters.info ? InfoLine(nCode, pHint) : std::nullopt;
    default:
        return std::nullopt;
    }
}

} // namespace kestrun
