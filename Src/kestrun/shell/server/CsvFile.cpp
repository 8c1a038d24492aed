// Reading the CSV configuration: lines, fields, the column syntax and the
// import of device and block lines.
#include "kestrun/shell/server/CsvFile.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdlib>
#include <cerrno>
#include <fcntl.h>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "kestrun/comm/config/CommConfig.h"
#include "kestrun/comm/config/LinkConfig.h"
#include "kestrun/comm/serial/SerialCommConfig.h"
#include "kestrun/comm/sockets/TcpipConfig.h"
#include "kestrun/comm/handler/ThreadInfo.h"
#include "kestrun/model/DataType.h"
#include "kestrun/model/DeviceObject.h"
#include "kestrun/model/ItemName.h"
#include "kestrun/model/MemoryArray.h"
#include "platform/win/RegularFile.h"

namespace {

constexpr std::size_t kMaxWordColumn = 80; // Port and Setting columns are read this far

std::string Upper(const std::string& text) { return kestrun::ApplyNameCase(text, false); }

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::vector<std::string> Words(const std::string& text)
{
    std::vector<std::string> words;
    std::string word;
    for (char c : text.substr(0, kMaxWordColumn)) {
        if (IsBlank(c)) {
            if (!word.empty())
                words.push_back(std::move(word));
            word.clear();
        } else {
            word.push_back(c);
        }
    }
    if (!word.empty())
        words.push_back(std::move(word));
    return words;
}

long Decimal(const std::string& text) { return std::strtol(text.c_str(), nullptr, 10); }

// A setter's argument: a number past int's range stays past the setter's range.
int ToInt(long value)
{
    return static_cast<int>(std::clamp<long>(value, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

// The number after the first n characters; 0 when the text is not longer.
long NumberAfter(const std::string& text, std::size_t n) { return text.size() > n ? Decimal(text.substr(n)) : 0; }

// The line a marker names: 1 secondary master, 2 primary backup, 3 secondary backup; -1 none.
int LineOfMarker(const std::string& text)
{
    for (int line = LINE_SECONDARY_MASTER; line < LINE_COUNT; ++line)
        if (text.size() == 1 && text[0] == tagTHREADINFO::MarkerOf(line))
            return line;
    return -1;
}

// A line configuration takes the line's columns as its own.
void FillConfig(CdsCommConfig& config, const CdsCsvFile::Fields& f)
{
    config.m_strProtocol = f[1];
    config.m_nDeviceType = static_cast<std::int32_t>(Decimal(f[2]));
    config.m_strAddress = f[3];
    config.m_strPort = f[4];
    config.m_strSetting = f[5];
    config.m_strOptions = f[6];
    config.m_strDescription = f[7];
}

// The network kinds keep local and remote address and remote port in one of two shapes.
bool SetPeer(CdsCommConfig& config, const std::string& local, const std::string& remote, long port)
{
    if (auto* socket = dynamic_cast<CdsTcpipConfig*>(&config)) {
        socket->m_strLocalAddress = local;
        socket->m_strRemoteAddress = remote;
        socket->m_nRemotePort = static_cast<std::int32_t>(port);
        return true;
    }
    if (auto* link = dynamic_cast<CdsLinkConfig*>(&config)) {
        link->m_strLocalAddress = local;
        link->m_strRemoteAddress = remote;
        link->m_nRemotePort = static_cast<std::int32_t>(port);
        return true;
    }
    return false;
}

bool SetSerial(COXSerialCommConfig& config, const std::string& setting)
{
    const std::vector<std::string> words = Words(setting);
    if (words.size() < 4)
        return false;
    config.m_nBaudRate = static_cast<DWORD>(std::strtoul(words[0].c_str(), nullptr, 10));
    const char parity = static_cast<char>(std::toupper(static_cast<unsigned char>(words[1][0])));
    config.m_nParity = parity == 'O' ? 1 : parity == 'E' ? 2 : 0;
    const char bits = words[2][0];
    config.m_nDataBits = static_cast<BYTE>(std::isdigit(static_cast<unsigned char>(bits)) ? bits - '0' : 0);
    config.m_nStopBits = words[3] == "1" ? 0 : 2;
    return true;
}

// Why a line's Port and Setting make no configuration.
std::string PortReason(const CdsCsvFile::Fields& fields)
{
    const int kind = CdsCsvFile::ParsePortKind(fields[4]);
    if (kind < 0)
        return "Port: '" + fields[4] + "' names no port kind (COM, TCP, UDP, EMUL, ...)";
    if (kind == COMM_PORT_SERIAL)
        return "Setting: '" + fields[5] + "' is not four words: baud parity databits stopbits";
    return "Setting: '" + fields[5] + "' is not two words: remote-address remote-port";
}

} // namespace

CdsCsvFile::CdsCsvFile() = default;

CdsCsvFile::~CdsCsvFile() { Close(); }

int CdsCsvFile::Open(const std::string& strPath, int bWrite)
{
    if (bWrite) {
        m_pOut = std::make_unique<std::ofstream>(strPath, std::ios::binary | std::ios::trunc);
        if (!m_pOut->is_open()) {
            m_pOut.reset();
            return 0;
        }
        return 1;
    }
    m_strReason.clear();
    m_nLine = 0;
    // Opening a FIFO waits for a writer for ever, and a device never ends: only a
    // regular file of a sane size is read, the very one that was checked.
    const win::RegularFile checked = win::OpenRegularFile(strPath, O_RDONLY);
    if (checked.fd < 0) {
        if (checked.error == ENOENT)
            m_strReason = "no such file";
        else if (checked.error == 0 && checked.reason.rfind("too large", 0) == 0)
            m_strReason = checked.reason;
        else if (checked.error == 0)
            m_strReason = "not a regular file";
        else
            m_strReason = "cannot be read";
        return 0;
    }
    m_pIn = std::make_unique<std::ifstream>("/proc/self/fd/" + std::to_string(checked.fd), std::ios::binary);
    ::close(checked.fd);
    if (!m_pIn->is_open()) {
        m_pIn.reset();
        m_strReason = "cannot be read";
        return 0;
    }
    return 1;
}

int CdsCsvFile::Close()
{
    int written = 1;
    if (m_pOut) {
        m_pOut->flush();
        written = m_pOut->good() ? 1 : 0;
        m_pOut->close();
        if (m_pOut->fail())
            written = 0;
        m_pOut.reset();
    }
    m_pIn.reset();
    return written;
}

int CdsCsvFile::ReadNextLine(Fields& fields)
{
    if (!m_pIn)
        return 0;
    std::string line;
    while (std::getline(*m_pIn, line)) {
        // Several editors begin a UTF-8 file with a byte-order mark.
        if (++m_nLine == 1 && line.rfind("\xEF\xBB\xBF", 0) == 0)
            line.erase(0, 3);
        if (!line.empty() && line[0] == ';')
            continue;
        // Blank lines, empty ones too, separate nothing: the file goes on after them.
        if (std::all_of(line.begin(), line.end(), [](unsigned char c) { return std::isspace(c); }))
            continue;
        m_nFieldCount = ParseCSV(line, fields);
        return 1;
    }
    return 0;
}

std::size_t CdsCsvFile::ParseCSV(const std::string& strLine, Fields& fields)
{
    std::string text = strLine;
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n'))
        text.pop_back();
    text.push_back(',');
    for (std::string& field : fields)
        field.clear();
    std::size_t index = 0;
    std::size_t start = 0;
    for (std::size_t comma = text.find(','); comma != std::string::npos && index < kFields;
         comma = text.find(',', start)) {
        fields[index++] = text.substr(start, comma - start);
        start = comma + 1;
    }
    return index;
}

int CdsCsvFile::ConvertOldBlockInfo(Fields& fields)
{
    // device, address, type, length, priority, rw, scan time, description
    const Fields old = fields;
    fields[1].clear();
    fields[3] = old[1];
    for (std::size_t i = 3; i <= 7; ++i)
        fields[i + 1] = old[i];
    return 1;
}

std::optional<long> CdsCsvFile::ParseWholeDecimal(const std::string& strText)
{
    std::size_t first = 0;
    std::size_t last = strText.size();
    while (first < last && IsBlank(strText[first]))
        ++first;
    while (last > first && IsBlank(strText[last - 1]))
        --last;
    if (first < last && strText[first] == '+')
        ++first;
    long value = 0;
    const char* begin = strText.data() + first;
    const char* end = strText.data() + last;
    const auto [stop, error] = std::from_chars(begin, end, value);
    if (begin == end || error != std::errc() || stop != end)
        return std::nullopt;
    return value;
}

long CdsCsvFile::ParseNumber(const std::string& strText)
{
    std::size_t start = 0;
    if (strText.size() > 1 && (strText[0] == '&' || strText[0] == 'H' || strText[0] == 'h'))
        start = (strText[0] == '&' && strText.size() > 2 && (strText[1] == 'H' || strText[1] == 'h')) ? 2 : 1;
    else if (strText.size() == 1 && (strText[0] == '&' || strText[0] == 'H' || strText[0] == 'h'))
        return 0;
    if (start == 0)
        return Decimal(strText);
    unsigned long value = 0;
    for (std::size_t i = start; i < strText.size() && std::isxdigit(static_cast<unsigned char>(strText[i])); ++i) {
        const char c = static_cast<char>(std::toupper(static_cast<unsigned char>(strText[i])));
        value = value * 16 + static_cast<unsigned long>(c <= '9' ? c - '0' : c - 'A' + 10);
    }
    return static_cast<long>(value);
}

CdsCsvFile::BlockType CdsCsvFile::ParseDataType(const std::string& strText)
{
    const std::string word = Upper(strText);
    BlockType result;
    // Every name the export writes comes back as its own type.
    for (int type = 0; type <= BRISANT_FIXEDSTRINGARRAY; ++type) {
        if (word == Upper(GetDataTypeName(type))) {
            result.nType = type;
            return result;
        }
    }
    struct Keyword {
        const char* word;
        int type;
    };
    static constexpr Keyword kKeywords[] = {
        {"WORD", 4},  {"USHORT", 4},  {"UINT16", 4}, {"SHORT", 3},  {"INT16", 3},   {"CHAR", 1},    {"INT8", 1},
        {"BYTE", 2},  {"UINT8", 2},   {"BOOL", 0},   {"BOOLEAN", 0}, {"BIT", 0},    {"DWORD", 6},   {"ULONG", 6},
        {"UINT32", 6}, {"LONG", 5},   {"INT32", 5},  {"REAL", 7},   {"SINGLE", 7},  {"FLOAT", 7},   {"DOUBLE", 8},
        {"MIX", -1},
    };
    for (const Keyword& keyword : kKeywords) {
        if (word == keyword.word) {
            result.nType = keyword.type;
            return result;
        }
    }
    if (word == "INT64" || word == "UINT64") {
        result.nType = BRISANT_DOUBLE;
        result.bForceDouble = true;
        return result;
    }
    if (const std::size_t at = word.find("STRING"); at != std::string::npos) {
        result.nType = BRISANT_STRING;
        const std::string count = word.substr(at + 6);
        if (!count.empty() && std::isdigit(static_cast<unsigned char>(count[0])))
            result.nItemCount = static_cast<int>(Decimal(count));
        return result;
    }
    long value = Decimal(word);
    if (value == 0 && word.size() == 1)
        value = static_cast<unsigned char>(word[0]);
    else if (value == 0 && word.size() > 1)
        value = static_cast<unsigned char>(word[0]) * 256 + static_cast<unsigned char>(word[1]);
    result.nType = static_cast<int>(value < 128 ? value + 128 : value);
    // A number is a type code; a word that made one is probably a misspelling.
    result.bKnown = Decimal(word) != 0;
    return result;
}

std::string CdsCsvFile::DataTypeText(int nType)
{
    if (nType == -1)
        return "Mix";
    const char* name = GetDataTypeName(nType);
    if (name && *name)
        return name;
    // A number below 128 is read as a code 128 higher: write it so it comes back.
    return std::to_string(nType < 128 ? nType - 128 : nType);
}

int CdsCsvFile::ParsePortKind(const std::string& strPort)
{
    struct Kind {
        const char* word;
        int type;
    };
    static constexpr Kind kKinds[] = {
        {"COM", COMM_PORT_SERIAL},   {"TCP", COMM_PORT_TCPIP}, {"EMUL", COMM_PORT_EMUL},
        {"UDP", COMM_PORT_UDPIP},    {"ETH", COMM_PORT_ETHERNET}, {"ARC", COMM_PORT_ARCNET},
        {"MSTP", COMM_PORT_MSTP},    {"PTP", COMM_PORT_PTP},   {"LON", COMM_PORT_LONTALK},
        {"ZIG", COMM_PORT_ZIGBEE},   {"IP6", COMM_PORT_IP6},
    };
    for (const Kind& kind : kKinds)
        if (strPort.find(kind.word) != std::string::npos)
            return kind.type;
    return -1;
}

std::unique_ptr<CdsCommConfig> CdsCsvFile::MakeCommConfig(const Fields& fields)
{
    const std::string& port = fields[4];
    const int kind = ParsePortKind(port);
    std::unique_ptr<CdsCommConfig> config = CdsCommConfig::NewCommConfig(kind);
    if (!config)
        return nullptr;
    long portId = 0;
    if (kind == COMM_PORT_SERIAL) {
        // COM1 is port 0.
        portId = port.size() > 3 ? NumberAfter(port, 3) - 1 : 0;
        auto* serial = dynamic_cast<COXSerialCommConfig*>(config.get());
        if (!serial || !SetSerial(*serial, fields[5]))
            return nullptr;
    } else if (kind == COMM_PORT_EMUL) {
        portId = port.size() > 4 && std::isdigit(static_cast<unsigned char>(port[4])) ? port[4] - '0' : 0;
    } else {
        const std::vector<std::string> portWords = Words(port);
        const std::vector<std::string> setting = Words(fields[5]);
        if (portWords.empty() || setting.size() < 2)
            return nullptr;
        portId = NumberAfter(portWords[0], 3);
        const std::string local = portWords.size() > 1 ? portWords[1] : std::string();
        if (!SetPeer(*config, local, setting[0], ParseNumber(setting[1])))
            return nullptr;
    }
    config->SetPortId(static_cast<WORD>(portId));
    return config;
}

int CdsCsvFile::ImportDeviceObject(const Fields& fields, CdsDeviceObject* pDevice)
{
    if (!pDevice)
        return 0;
    pDevice->m_strName = fields[0];
    pDevice->m_strProtocol = fields[1];
    pDevice->m_nDeviceType = static_cast<LONG>(ParseNumber(fields[2]));
    pDevice->m_strAddress = fields[3];
    pDevice->m_strPort = fields[4];
    pDevice->m_strSetting = fields[5];
    pDevice->m_strOptions = fields[6];
    pDevice->m_strDescription = fields[7];
    // Each line makes its configuration afresh: nothing of another line stays in it.
    std::unique_ptr<CdsCommConfig> config = MakeCommConfig(fields);
    if (!config) {
        m_strReason = PortReason(fields);
        return 0;
    }
    FillConfig(*config, fields);
    pDevice->SetCommConfig(LINE_PRIMARY_MASTER, std::move(config));
    return 1;
}

int CdsCsvFile::ImportBackupDevice(const Fields& fields, CdsDeviceObject* pDevice)
{
    if (!pDevice)
        return 0;
    int line = LineOfMarker(fields[8]);
    if (line >= 0 && pDevice->IsValidConfigAt(line)) {
        m_strReason = "the line '" + fields[8] + "' of device " + fields[0] + " is already configured";
        return 0;
    }
    for (int free = LINE_SECONDARY_MASTER; line < 0 && free < LINE_COUNT; ++free)
        if (!pDevice->IsValidConfigAt(free))
            line = free;
    if (line < 0) {
        m_strReason = "device " + fields[0] + " has all four lines already";
        return 0;
    }
    std::unique_ptr<CdsCommConfig> config = MakeCommConfig(fields);
    if (!config) {
        m_strReason = PortReason(fields);
        return 0;
    }
    FillConfig(*config, fields);
    pDevice->SetCommConfig(line, std::move(config));
    return 1;
}

int CdsCsvFile::ImportMemoryArray(const Fields& fields, CdsDeviceObject* pDevice, CdsMemoryArray* pBlock)
{
    if (!pDevice || !pBlock)
        return 0;
    // A block no request could ever be answered for is refused here, with its
    // reason, rather than failing at every scan.
    const BlockType type = ParseDataType(fields[2]);
    if (!type.bKnown) {
        m_strReason = "DataType: '" + fields[2] + "' is no type word (Bool, Short, Word, Long, DWord, Float, "
                                                  "Double, String, ... or a type number)";
        return 0;
    }
    // A text's own count ("STRING20") is its size; the Length column counts the rest.
    long count = type.nItemCount.value_or(0);
    if (!type.nItemCount) {
        const std::optional<long> length = ParseWholeDecimal(fields[4]);
        if (!length) {
            m_strReason = "Length: '" + fields[4] + "' is not a number of items";
            return 0;
        }
        count = *length;
    }
    if (count > kMaxLength) {
        m_strReason = "Length: " + std::to_string(count) + " is more than a block holds (" +
                      std::to_string(kMaxLength) + ")";
        return 0;
    }
    if (count < 1) {
        m_strReason = "Length: " + std::to_string(count) + " items; a block holds 1 to " + std::to_string(kMaxLength);
        return 0;
    }
    std::string rw;
    for (char c : fields[6])
        if (!IsBlank(c))
            rw.push_back(c);
    if (rw.empty() || rw.find_first_not_of("rRwW") != std::string::npos) {
        m_strReason = "ReadWrite: '" + fields[6] + "' is not r, w or rw";
        return 0;
    }
    pDevice->m_strName = fields[0];
    pBlock->SetName(fields[1]);
    pBlock->SetAddr(fields[3]);
    pBlock->SetDefaultDataType(type.nType);
    pBlock->SetForceDouble(type.bForceDouble ? TRUE : FALSE);
    pBlock->SetMaxMemories(static_cast<int>(count));
    // Priority and scan time out of their ranges leave the block's own values: say so.
    // (A text that is no number reads as its leading digits, 0 without any.)
    const bool priority = pBlock->SetPriority(ToInt(Decimal(fields[5])));
    if (!priority || !ParseWholeDecimal(fields[5]))
        AddNote("Priority: '" + fields[5] + "' is not 0 to 9; " + std::to_string(pBlock->GetPriority()) +
                " is taken");
    const bool scan = pBlock->SetScanTime(ToInt(Decimal(fields[7])));
    if (!scan || !ParseWholeDecimal(fields[7]))
        AddNote("ScanTime: '" + fields[7] + "' is not 100 to 10000 ms; " + std::to_string(pBlock->GetScanTime()) +
                " is taken");
    pBlock->SetReadAllowed(rw.find_first_of("rR") != std::string::npos ? TRUE : FALSE);
    pBlock->SetWriteAllowed(rw.find_first_of("wW") != std::string::npos ? TRUE : FALSE);
    pBlock->SetDescription(fields[8]);
    return 1;
}
