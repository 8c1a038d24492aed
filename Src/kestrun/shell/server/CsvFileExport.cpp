// Writing the CSV configuration: heading, device lines, block lines, tail.
#include "kestrun/comm/config/CommConfig.h"
#include "kestrun/comm/handler/EngineMessages.h"
#include "kestrun/comm/handler/ThreadInfo.h"
#include "kestrun/model/DeviceObject.h"
#include "kestrun/model/MemoryArray.h"
#include "kestrun/shell/server/CsvFile.h"
#include "kestrun/shell/server/LogView.h"
#include "kestrun/shell/server/ServerApp.h"
#include "kestrun/shell/app/Version.h"

namespace {

constexpr const char* kLineEnd = "\r\n";

// Fields of one object's lines: a comma or a line end would split or end the
// line, so each becomes a blank; the object is named once in the log.
class Cleaner {
public:
    std::string operator()(std::string text)
    {
        for (char& c : text) {
            if (c == ',' || c == '\r' || c == '\n') {
                c = ' ';
                m_bChanged = true;
            }
        }
        return text;
    }
    void Report(const std::string& strObject) const
    {
        if (m_bChanged)
            ShowLogVaMessage(LOG_INFO, "Export: commas and line breaks in the texts of %s were written as blanks.\r\n",
                             strObject.c_str());
    }

private:
    bool m_bChanged = false;
};

} // namespace

int CdsCsvFile::WriteLine(std::initializer_list<std::string> fields)
{
    if (!m_pOut)
        return 0;
    bool first = true;
    for (const std::string& field : fields) {
        if (!first)
            *m_pOut << ',';
        *m_pOut << field;
        first = false;
    }
    *m_pOut << kLineEnd;
    return m_pOut->good() ? 1 : 0;
}

int CdsCsvFile::ExportHeadingInfo()
{
    CdsServerApp* pApp = CdsServerApp::GetApp();
    if (!m_pOut || !pApp)
        return m_pOut && m_pOut->good() ? 1 : 0;
    const char* description = pApp->GetServerDescription();
    *m_pOut << ';' << kLineEnd << ';' << (description ? description : "") << " (" << GetVersionString(0) << ')'
            << kLineEnd << ';' << kLineEnd;
    return m_pOut->good() ? 1 : 0;
}

int CdsCsvFile::ExportDevicesHeadingInfo()
{
    return WriteLine({":Device", "Protocol", "DeviceType", "Address", "Port", "Setting", "Options", "Description"});
}

int CdsCsvFile::ExportDeviceObjectInfo(CdsDeviceObject* pDevice)
{
    if (!m_pOut)
        return 0;
    if (!pDevice || pDevice->IsSystemDevice())
        return m_pOut->good() ? 1 : 0;
    Cleaner clean;
    const std::string name = clean(pDevice->m_strName);
    int ok = WriteLine({name, clean(pDevice->m_strProtocol), std::to_string(pDevice->m_nDeviceType),
                        clean(pDevice->m_strAddress), clean(pDevice->m_strPort), clean(pDevice->m_strSetting),
                        clean(pDevice->m_strOptions), clean(pDevice->m_strDescription)});
    // Each further line names its own line, so an import puts it back there.
    for (int line = LINE_SECONDARY_MASTER; line < LINE_COUNT; ++line) {
        if (!pDevice->IsValidConfigAt(line))
            continue;
        const CdsCommConfig& config = *pDevice->GetCommConfigAt(line);
        ok = WriteLine({name, clean(config.m_strProtocol), std::to_string(config.m_nDeviceType),
                        clean(config.m_strAddress), clean(config.m_strPort), clean(config.m_strSetting),
                        clean(config.m_strOptions), clean(config.m_strDescription),
                        std::string(1, tagTHREADINFO::MarkerOf(line))});
    }
    clean.Report("topic [" + name + "]");
    return ok;
}

int CdsCsvFile::ExportMemoriesHeadingInfo()
{
    return WriteLine({":Block", "Name", "DataType", "Address", "Length", "Priority", "ReadWrite", "ScanTime",
                      "Description"});
}

int CdsCsvFile::ExportMemoryArrayInfo(CdsDeviceObject* pDevice, CdsMemoryArray* pBlock)
{
    if (!m_pOut)
        return 0;
    if (!pDevice || !pBlock || pDevice->IsSystemDevice() || pBlock->IsSystemArray())
        return m_pOut->good() ? 1 : 0;
    std::string rw;
    if (pBlock->IsReadAllowed())
        rw += 'r';
    if (pBlock->IsWriteAllowed())
        rw += 'w';
    Cleaner clean;
    const std::string device = clean(pDevice->m_strName);
    const std::string name = clean(pBlock->GetName());
    const int ok = WriteLine({device, name, DataTypeText(pBlock->GetDefaultDataType()), clean(pBlock->GetAddr()),
                              std::to_string(pBlock->GetMaxMemories()), std::to_string(pBlock->GetPriority()), rw,
                              std::to_string(pBlock->GetScanTime()), clean(pBlock->GetDescription())});
    clean.Report("item [" + device + "]" + (name.empty() ? pBlock->GetAddr() : name));
    return ok;
}

int CdsCsvFile::ExportTailInfo() { return WriteLine({";"}); }
