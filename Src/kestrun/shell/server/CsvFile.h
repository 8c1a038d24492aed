#pragma once
// The configuration as comma-separated text: a section of device lines and a
// section of block lines that an operator can edit. The file object reads and
// splits lines, converts fields into devices, line configurations and blocks,
// and writes them back; the document drives it. The server program derives
// its own file class without changing behaviour.
//
// Fields are cut at every comma; there is no quoting. A device line for a name
// already seen describes one of the device's redundant line configurations; it
// may name its line in a ninth field by the line's marker ("+" secondary
// master, "=" primary backup, "*" secondary backup), which the export writes
// so that each configuration comes back into its own line.
#include <array>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class CdsCommConfig;
class CdsDeviceObject;
class CdsMemoryArray;

class CdsCsvFile {
public:
    static constexpr std::size_t kFields = 20;
    using Fields = std::array<std::string, kFields>;

    CdsCsvFile();
    virtual ~CdsCsvFile();
    CdsCsvFile(const CdsCsvFile&) = delete;
    CdsCsvFile& operator=(const CdsCsvFile&) = delete;

    // bWrite 1 opens (or reopens) the output, truncating the file; 0 opens the
    // input, which must be a regular file (a FIFO or a device would block the
    // reader). 0 when the file cannot be opened; Reason() then says why.
    int Open(const std::string& strPath, int bWrite);
    // Closes both streams; 0 when the output could not be written in full.
    int Close();

    // The next data line split into fields; comment lines (";" first) and lines
    // of white space only, empty lines too, are skipped. 0 at the end. A UTF-8
    // byte-order mark before the first line is no part of it.
    virtual int ReadNextLine(Fields& fields);
    // The line ReadNextLine gave last, counted from 1 as an editor counts,
    // comment and blank lines included.
    int LineNumber() const { return m_nLine; }
    // Line ends removed, then cut at every comma into at most 20 fields; the
    // rest stay empty. Fields are not trimmed. Returns how many the line had.
    static std::size_t ParseCSV(const std::string& strLine, Fields& fields);
    // An old block line (no block name) in the block line's order.
    static int ConvertOldBlockInfo(Fields& fields);

    // A device line into a device whose line configurations start without port
    // ids: name, protocol, device type, address, port, setting, options,
    // description, and the primary master's configuration of the port's kind.
    // 0 when the port names no kind or its settings are incomplete.
    virtual int ImportDeviceObject(const Fields& fields, CdsDeviceObject* pDevice);
    // A further line of a device: the line named in field 8, else the first of
    // secondary master, primary backup, secondary backup without a
    // configuration or port id. 0 without such a line, for a port of no kind
    // or incomplete settings.
    virtual int ImportBackupDevice(const Fields& fields, CdsDeviceObject* pDevice);
    // A block line into the block; the device takes the line's device name.
    // 0 (with its reason) for a type that is no type, a Length that is no
    // item count from 1 to kMaxLength, or a ReadWrite of neither r nor w. A
    // Priority or ScanTime out of its range leaves the block's own value, and
    // a note says which.
    virtual int ImportMemoryArray(const Fields& fields, CdsDeviceObject* pDevice, CdsMemoryArray* pBlock);

    // Why the last Open or import refused; empty when there is nothing to say.
    const std::string& Reason() const { return m_strReason; }
    // What the last import took in place of a column it could not use.
    const std::vector<std::string>& Notes() const { return m_notes; }
    void ClearReason()
    {
        m_strReason.clear();
        m_notes.clear();
    }
    void SetReasonIfNone(std::string strReason)
    {
        if (m_strReason.empty())
            m_strReason = std::move(strReason);
    }
    // Fields of the last line ReadNextLine gave; the full count for lines
    // that did not come from it.
    std::size_t FieldCount() const { return m_nFieldCount; }
    static constexpr std::size_t kDeviceFields = 8;
    static constexpr std::size_t kBlockFields = 9;
    static constexpr std::size_t kOldBlockFields = 8;
    // The most items a block holds.
    static constexpr long kMaxLength = 65536;

    // Each writes its lines; 0 once the output has failed. A comma or line end
    // in a text is written as a blank, with one log line for the object.
    virtual int ExportHeadingInfo();
    virtual int ExportDevicesHeadingInfo();
    // The device's line, then one line per valid redundant configuration in
    // line order, each naming its line. System devices write nothing.
    virtual int ExportDeviceObjectInfo(CdsDeviceObject* pDevice);
    virtual int ExportMemoriesHeadingInfo();
    virtual int ExportMemoryArrayInfo(CdsDeviceObject* pDevice, CdsMemoryArray* pBlock);
    virtual int ExportTailInfo();

    // --- the column syntax, shared with tests ---
    // "&", "H", "h" or "&H" before hexadecimal digits; otherwise leading
    // decimal digits (0 without any).
    static long ParseNumber(const std::string& strText);
    // The data type of a block line's type column and, for texts, the item
    // count that the column itself gives ("STRING20": 20).
    struct BlockType {
        int nType = -1;
        bool bForceDouble = false;
        std::optional<int> nItemCount;
        bool bKnown = true; // false: a number made from a word no table knows
    };
    // The whole text (blanks around it aside) as a decimal integer; none for
    // anything else: an empty text, "abc", "8x".
    static std::optional<long> ParseWholeDecimal(const std::string& strText);
    static BlockType ParseDataType(const std::string& strText);
    // The type column a block's data type is written as; ParseDataType reads
    // it back as the same type (a nameless type below 128 as its value less
    // 128, which the reading raises by 128 again).
    static std::string DataTypeText(int nType);
    // The port type of a Port column; -1 when it names no kind.
    static int ParsePortKind(const std::string& strPort);
    // A new configuration of the Port column's kind from the line's Port and
    // Setting columns; none for a port of no kind or incomplete settings.
    static std::unique_ptr<CdsCommConfig> MakeCommConfig(const Fields& fields);

protected:
    // Writes the fields joined by commas and a line end.
    int WriteLine(std::initializer_list<std::string> fields);
    std::ofstream* Output() const { return m_pOut.get(); }
    void SetReason(std::string strReason) { m_strReason = std::move(strReason); }
    void AddNote(std::string strNote) { m_notes.push_back(std::move(strNote)); }

private:
    std::unique_ptr<std::ifstream> m_pIn;
    std::unique_ptr<std::ofstream> m_pOut;
    std::string m_strReason;
    std::vector<std::string> m_notes;
    std::size_t m_nFieldCount = kFields;
    int m_nLine = 0;
};
