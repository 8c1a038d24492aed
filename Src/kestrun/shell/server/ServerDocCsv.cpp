// The document's CSV import and export.
#include "kestrun/model/DeviceMap.h"
#include "kestrun/model/DeviceObject.h"
#include "kestrun/model/Hint.h"
#include "kestrun/shell/app/CommandLineInfo.h"
#include "kestrun/shell/server/CsvFile.h"
#include "kestrun/shell/app/FileDialog.h"
#include "kestrun/shell/server/LogView.h"
#include "kestrun/shell/app/MessageBox.h"
#include "kestrun/shell/server/ServerApp.h"
#include "kestrun/shell/server/ServerDoc.h"
#include "kestrun/shell/app/ShellIds.h"
#include "kestrun/shell/app/StandardFolders.h"

namespace {

enum class Section { None, Device, Block, OldBlock };

bool EqualsNoCase(const std::string& a, const char* b) { return shell::CommandLineInfo::EqualsNoCase(a, b); }

// The device of that name in this map (not one of another map).
CdsDeviceObject* DeviceInMap(CdsDeviceMap& map, const std::string& strName)
{
    CdsDeviceObject* device = CdsDeviceMap::GetDeviceObjectByTopic(strName);
    return device && device->GetParent() == &map ? device : nullptr;
}

void ReportFailure(const char* what, const std::string& strPath)
{
    ShowLogVaMessage(LOG_ERROR, "Cannot %s file %s!\r\n", what, strPath.c_str());
    svcMessageBox(std::string("Cannot ") + what + " file " + strPath + "!", shell::MB_OK | shell::MB_ICONERROR,
                  shell::IDOK);
}

// Control characters of a file's text stay out of the log.
std::string LogSafe(std::string text)
{
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = '?';
    return text;
}

// Where a line is, as an editor names it: "plant.csv:7: ".
std::string Where(const std::string& strPath, int nLine) { return strPath + ":" + std::to_string(nLine) + ": "; }

// A reason or note as a sentence of the log.
std::string Sentence(const std::string& strText)
{
    const bool ended = !strText.empty() && (strText.back() == '.' || strText.back() == '?');
    return LogSafe(ended ? strText : strText + ".");
}

// The line as it was refused, then where it is and why on the next log line.
void ReportLine(const std::string& strPath, int nLine, const CdsCsvFile::Fields& f, const std::string& strReason)
{
    ShowLogVaMessage(LOG_ERROR, "Cannot import Line %d = %s(%s,%s,%s,%s,%s)!\r\n", nLine, LogSafe(f[0]).c_str(),
                     LogSafe(f[1]).c_str(), LogSafe(f[2]).c_str(), LogSafe(f[3]).c_str(), LogSafe(f[4]).c_str(),
                     LogSafe(f[5]).c_str());
    if (!strReason.empty())
        ShowLogVaMessage(LOG_ERROR, "  %s%s\r\n", LogSafe(Where(strPath, nLine)).c_str(), Sentence(strReason).c_str());
}

// A refused line with the field count of another section is most likely in the
// wrong one: a section line forgotten above it.
std::string SectionHint(Section section, const CdsCsvFile::Fields& fields, std::size_t nFields)
{
    const bool marker = fields[8].size() == 1 && std::string("+=*").find(fields[8][0]) != std::string::npos;
    if (section == Section::Device && nFields == CdsCsvFile::kBlockFields && !marker)
        return "; it has the 9 fields of a block line: is a \":Block\" line missing above it?";
    if (section == Section::Block && nFields == CdsCsvFile::kDeviceFields)
        return "; it has the 8 fields of a device line: is a \":Device\" line missing above it?";
    if (section == Section::OldBlock && nFields == CdsCsvFile::kBlockFields)
        return "; it has the 9 fields of a block line: is a \":Block\" line missing above it?";
    return {};
}

// Why the map would not take a device read from a line, when it is something
// the line can be told: an empty or reserved name, or the port, address and
// device type of a device it holds already.
std::string DeviceConflict(const CdsDeviceMap& map, const CdsDeviceObject& device)
{
    if (device.m_strName.empty())
        return "a device needs a name";
    if (device.m_strName[0] == '$')
        return "the name " + device.m_strName + " begins with '$', which is kept for the server's own devices";
    if (const CdsDeviceObject* holder =
            map.GetDeviceObjectByAddr(device.m_strPort, device.m_strAddress, device.m_nDeviceType))
        return "Port '" + device.m_strPort + "', Address '" + device.m_strAddress + "' and DeviceType " +
               std::to_string(device.m_nDeviceType) + " are those of device " + holder->m_strName +
               " already; a second PLC there needs its own Address (its route or PC number) or Port";
    return {};
}

} // namespace

bool CdsServerDoc::IsCsvPath(const std::string& strPath)
{
    // The file's own extension decides, not a folder that happens to hold ".csv".
    const std::size_t slash = strPath.find_last_of("/\\");
    const std::string name = slash == std::string::npos ? strPath : strPath.substr(slash + 1);
    const std::size_t dot = name.rfind('.');
    return dot != std::string::npos && (slash != std::string::npos || dot > 0) &&
           EqualsNoCase(name.substr(dot), ".csv");
}

int CdsServerDoc::GetCSVFilePath(int bSave)
{
    shell::FileDialogRequest request;
    request.bSave = bSave != 0;
    request.strDefaultExt = "csv";
    request.strFilter = "CSV file (*.csv)|*.csv|All Files (*.*)|*.*||";
    request.strFolder = GetConfigFolder(bSave);
    request.strFileName = m_strCsvPath;
    request.bOverwritePrompt = true;
    std::string path;
    if (!shell::ShowFileDialog(request, path))
        return 0;
    m_strCsvPath = path;
    return 1;
}

void CdsServerDoc::OnFileImport()
{
    if (!SaveModified() || !GetCSVFilePath(0))
        return;
    const std::string path = m_strCsvPath;
    if (!ImportFromCsvFile(path, 0)) {
        ReportFailure("import from", path);
        return;
    }
    CdsHint hint = CdsHint::ForText(path);
    UpdateAllViews(nullptr, HINT_IMPORT, &hint);
}

void CdsServerDoc::OnFileExport()
{
    if (!GetCSVFilePath(1))
        return;
    const std::string path = m_strCsvPath;
    CdsCsvFile* pFile = GetTempCsvFile();
    bool written = pFile && pFile->Open(path, 1) && ExportTo(*pFile);
    if (pFile)
        written = pFile->Close() && written;
    if (!written) {
        ReportFailure("export to", path);
        return;
    }
    CdsHint hint = CdsHint::ForText(path);
    UpdateAllViews(nullptr, HINT_EXPORT, &hint);
}

bool CdsServerDoc::WriteRecoveryCopy(const std::string& strPath, std::string& strError)
{
    if (!IsCsvPath(GetPathName()))
        return WriteCopy(strPath, strError);
    CdsCsvFile* pFile = GetTempCsvFile();
    bool written = pFile && pFile->Open(strPath, 1) && ExportTo(*pFile);
    if (pFile)
        written = pFile->Close() && written;
    if (!written)
        strError = pFile ? pFile->Reason() : "no CSV writer";
    return written;
}

std::string CdsServerDoc::RecoveryExtension() const
{
    if (IsCsvPath(GetPathName()))
        return shell::Document::RecoveryExtension();
    const shell::Application* pApp = GetApplication();
    const std::string ext = pApp ? pApp->GetDocTemplate().strFilterExt : std::string();
    return ext.empty() || ext.front() == '.' ? ext : "." + ext;
}

void CdsServerDoc::LogRecoveryLine(int nKind, const std::string& strText) { ShowLogMessage(nKind, strText.c_str()); }

bool CdsServerDoc::ExportTo(CdsCsvFile& file)
{
    bool ok = file.ExportHeadingInfo() && file.ExportDevicesHeadingInfo();
    if (m_pDevices) {
        for (const auto& [key, device] : m_pDevices->GetDevices())
            ok = file.ExportDeviceObjectInfo(device) && ok;
    }
    ok = file.ExportMemoriesHeadingInfo() && ok;
    if (m_pDevices) {
        for (const auto& [key, device] : m_pDevices->GetDevices())
            for (CdsMemoryArray* block : device->GetMemoryArrayList().GetBlocks())
                ok = file.ExportMemoryArrayInfo(device, block) && ok;
    }
    return file.ExportTailInfo() && ok;
}

int CdsServerDoc::ImportFromCsvFile(const std::string& strPath, int)
{
    // The file is opened before anything is cleared: one that cannot be read
    // leaves the configuration as it was.
    if (!GetTempCsvFile())
        return 0;
    std::unique_ptr<CdsCsvFile> pFile = std::move(m_pTmpCsvFile);
    if (!pFile->Open(strPath, 0)) {
        ShowLogVaMessage(LOG_ERROR, "Cannot read %s: %s.\r\n", strPath.c_str(), pFile->Reason().c_str());
        return 0;
    }
    DeleteContents();
    SetPathName({}, false);
    SetModifiedFlag(false);
    CdsDeviceMap* pMap = NewDevices();
    if (!pMap)
        return 0;
    ImportLines(*pFile, *pMap, strPath);
    pFile->Close();
    if (pMap->GetDevices().empty())
        ShowLogVaMessage(LOG_ERROR, "%s gives no device: a \":Device\" line and device lines below it are needed.\r\n",
                         strPath.c_str());
    RemoveTmpObjects();
    CdsServerApp* pApp = CdsServerApp::GetApp();
    const auto stopped = [pApp] { return pApp && pApp->IsStopRequested(); };
    if (!stopped())
        pMap->OnLoading(stopped);
    // Stopped part way: half a configuration must never be taken (or saved) as the whole.
    if (stopped()) {
        ShowLogMessage(LOG_INFO, ("Import of " + strPath + " stopped: the server is closing.\r\n").c_str());
        // No client may find it, and the program ends: it need not be freed now.
        pMap->ForgetTopics();
        pApp->GetRetiredObjects().Retire([pMap] { pMap->Destroy(); });
        return 0;
    }
    if (!InitDevices(pMap)) {
        pMap->Destroy();
        return 0;
    }
    return 1;
}

int CdsServerDoc::ImportLines(CdsCsvFile& file, CdsDeviceMap& map, const std::string& strPath)
{
    Section section = Section::None;
    CdsCsvFile::Fields fields;
    int nRead = 0;
    int nImported = 0;
    const CdsServerApp* pApp = CdsServerApp::GetApp();
    while (file.ReadNextLine(fields)) {
        ++nRead;
        if ((nRead & 0x3FF) == 0 && pApp && pApp->IsStopRequested())
            break;
        const int nLine = file.LineNumber();
        if (!fields[0].empty() && fields[0][0] == ':') {
            if (EqualsNoCase(fields[0], ":Device")) {
                section = Section::Device;
            } else if (EqualsNoCase(fields[0], ":Block")) {
                section = Section::Block;
            } else if (EqualsNoCase(fields[0], ":Memory")) {
                section = Section::OldBlock;
                ShowLogMessage(LOG_INFO, "Converting old style memory info\r\n");
            } else {
                section = Section::None;
            }
            continue;
        }
        if (section == Section::None)
            continue;
        file.ClearReason();
        bool imported = false;
        const std::size_t nFields = file.FieldCount();
        const std::size_t expected = section == Section::Device  ? CdsCsvFile::kDeviceFields
                                     : section == Section::Block ? CdsCsvFile::kBlockFields
                                                                 : CdsCsvFile::kOldBlockFields;
        if (nFields < expected) {
            // A missing comma would shift every later column into the wrong meaning.
            ReportLine(strPath, nLine, fields,
                       std::string(section == Section::Device ? "device" : "block") + " line has " +
                           std::to_string(nFields) + " fields, " + std::to_string(expected) + " expected" +
                           SectionHint(section, fields, nFields));
            continue;
        }
        if (section == Section::Device) {
            if (CdsDeviceObject* device = DeviceInMap(map, fields[0])) {
                imported = file.ImportBackupDevice(fields, device) != 0;
            } else if (CdsDeviceMap::GetDeviceObjectByTopic(fields[0])) {
                file.SetReasonIfNone("the name " + fields[0] + " belongs to a device of another configuration");
            } else {
                // (A name another map holds is refused: that device is not this map's to change.)
                RenewTempObjects();
                if (m_pTmpDevice && file.ImportDeviceObject(fields, m_pTmpDevice)) {
                    const std::string conflict = DeviceConflict(map, *m_pTmpDevice);
                    CdsDeviceObject* added = conflict.empty() ? map.AddDeviceObject(*m_pTmpDevice) : nullptr;
                    imported = added && added->GetParent() == &map;
                    if (!imported)
                        file.SetReasonIfNone(conflict.empty() ? "the device map refuses the device" : conflict);
                }
            }
        } else {
            if (section == Section::OldBlock)
                CdsCsvFile::ConvertOldBlockInfo(fields);
            RenewTempObjects();
            CdsDeviceObject* device = nullptr;
            if (m_pTmpDevice && m_pTmpBlock && file.ImportMemoryArray(fields, m_pTmpDevice, m_pTmpBlock)) {
                device = DeviceInMap(map, m_pTmpDevice->m_strName);
                if (!device)
                    file.SetReasonIfNone("no device " + m_pTmpDevice->m_strName + " above this line");
            }
            // Item names find a block by its name alone: a second block of that name would hide the first.
            const std::string name = m_pTmpBlock ? m_pTmpBlock->GetName() : std::string();
            if (const CdsMemoryArray* same = device && !name.empty() ? device->GetMemoryArrayByName(name) : nullptr) {
                file.SetReasonIfNone("Name: device " + device->m_strName + " has a block " + same->GetName() +
                                     " (" + same->GetAddr() + ") already");
                device = nullptr;
            }
            CdsMemoryArray* block = device ? device->AddMemoryArray(*m_pTmpBlock, true) : nullptr;
            if (block) {
                block->SetParent(device);
            } else if (device) {
                const CdsMemoryArray* there = device->GetMemoryArrayByAddr(m_pTmpBlock->GetAddr());
                file.SetReasonIfNone(there ? "Address: " + m_pTmpBlock->GetAddr() + " is where block " +
                                                 there->GetName() + " of device " + device->m_strName +
                                                 " begins already"
                                           : "device " + device->m_strName + " refuses Address '" +
                                                 m_pTmpBlock->GetAddr() + "'");
            }
            imported = block != nullptr;
        }
        if (imported) {
            ++nImported;
            for (const std::string& note : file.Notes())
                ShowLogVaMessage(LOG_ERROR, "%s%s\r\n", LogSafe(Where(strPath, nLine)).c_str(), Sentence(note).c_str());
        } else {
            const std::string hint = SectionHint(section, fields, nFields);
            ReportLine(strPath, nLine, fields,
                       file.Reason().empty() && !hint.empty() ? hint.substr(2) : file.Reason() + hint);
        }
    }
    return nImported;
}
