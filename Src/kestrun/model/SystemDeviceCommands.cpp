// The system and root devices' built-in blocks and the server commands of "$System".
#include <system_error>

#include "kestrun/model/ServerCommands.h"
#include "kestrun/model/SystemArray.h"
#include "kestrun/model/SystemDevice.h"
#include "kestrun/options/ServerOptions.h"

namespace {

enum CommandSlot { CMD_ONLINE = 0, CMD_OPEN = 1, CMD_RESET = 3, CMD_EXIT = 4 };

_BRISANTDATAVALUE Zero() { return _BRISANTDATAVALUE{}; }

} // namespace

BOOL CdsSystemDevice::CreateSystemArrays()
{
    DestroySystemArrays();
    auto* block = new CdsSystemArray(0);
    block->SetName("$Array");
    block->SetReadAllowed(FALSE);
    block->SetWriteAllowed(TRUE);
    block->SetClientReadAccess(TRUE);
    block->SetClientWriteAccess(TRUE);
    block->SetOnlineFlag(TRUE);
    block->SetHold(TRUE);
    if (!AddMemoryArray(block, true))
        return FALSE;
    struct Command {
        CommandSlot slot;
        const char* name;
        int type;
    };
    static constexpr Command kCommands[] = {{CMD_ONLINE, "$DoOnline", BRISANT_BOOL},
                                            {CMD_OPEN, "$DoOpen", BRISANT_STRING},
                                            {CMD_RESET, "$DoReset", BRISANT_BOOL},
                                            {CMD_EXIT, "$DoExit", BRISANT_BOOL}};
    int index = 0;
    for (const Command& command : kCommands) {
        CdsMemoryObject* point =
            block->AddMemoryObject(index, CdsSystemObject::Make(command.name, command.type, Zero()), TRUE);
        if (!point)
            return FALSE;
        m_pCommands[command.slot] = point;
        ++index;
    }
    return TRUE;
}

std::filesystem::path CdsSystemDevice::ResolveOpenName(const std::string& strName,
                                                       const std::filesystem::path& configFolder)
{
    if (strName.empty())
        return {};
    std::filesystem::path path(strName);
    std::error_code error;
    if (path.is_relative()) {
        // ".." must not lead anywhere else, neither from here nor from the configuration folder.
        for (const auto& part : path)
            if (part == "..")
                return {};
        // A name that exists as given is that file; the frame must not look for it elsewhere.
        if (std::filesystem::is_regular_file(path, error))
            return std::filesystem::absolute(path, error).lexically_normal();
        path = (configFolder / path).lexically_normal();
    }
    // A missing file is still asked for: the document reports why it cannot open it.
    if (std::filesystem::exists(path, error) && !std::filesystem::is_regular_file(path, error))
        return {};
    return path;
}

int CdsSystemDevice::HandleCommand(CdsMemoryObject* pPoint, const _BRISANTDATAVALUE& value, int& nResult)
{
    nResult = 0;
    if (!pPoint)
        return 0;
    kestrun::ServerCommands* pCommands = kestrun::ServerCommands::Installed();
    if (pPoint == m_pCommands[CMD_ONLINE]) {
        nResult = 1;
        return pCommands ? pCommands->SetOnline(static_cast<WORD>(value.wVal)) : 0;
    }
    if (pPoint == m_pCommands[CMD_OPEN]) {
        if (!value.pszVal)
            return 1;
        if (!pCommands)
            return 0;
        const std::filesystem::path path = ResolveOpenName(value.pszVal, pCommands->GetConfigFolder());
        if (path.empty())
            return 0;
        // Opening replaces the document: never on a client's thread.
        return pCommands->PostToApplication([pCommands, text = path.string()] { pCommands->OpenDocument(text); })
                   ? 1
                   : 0;
    }
    if (pPoint == m_pCommands[CMD_RESET]) {
        if (value.iVal == 0)
            return 1;
        return pCommands ? pCommands->ResetDocument() : 0;
    }
    if (pPoint == m_pCommands[CMD_EXIT]) {
        if (value.iVal == 0)
            return 1;
        if (!pCommands)
            return 0;
        return pCommands->PostToApplication([pCommands] { pCommands->CloseServer(); }) ? 1 : 0;
    }
    return 0;
}

BOOL CdsRootDevice::CreateSystemArrays()
{
    DestroySystemArrays();
    auto* block = new CdsSystemArray(0);
    block->SetName("$Array");
    block->SetReadAllowed(TRUE);
    block->SetWriteAllowed(TRUE);
    block->SetClientReadAccess(TRUE);
    block->SetClientWriteAccess(TRUE);
    if (!AddMemoryArray(block, true))
        return FALSE;
    if (CdsServerOptions::g_bUseSystemMode.load() && !m_pSysMode) {
        _BRISANTDATAVALUE initial{};
        initial.iVal = -11;
        m_pSysMode = block->AddMemoryObject(0, CdsSystemObject::Make("$ModeSys", BRISANT_SHORT, initial), TRUE);
        if (!m_pSysMode)
            return FALSE;
    }
    return TRUE;
}
