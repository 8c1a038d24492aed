#pragma once
// One log file of a day: "<folder>/<YYYY-MM-DD>.log", opened for appending and
// owner-only. Lines are written as shown, carriage returns turned to blanks;
// they are buffered and reach the disk on Flush, Close or the next open.
#include <cstdio>
#include <string>

class CdsLogFile {
public:
    CdsLogFile() = default;
    ~CdsLogFile() { Close(); }
    CdsLogFile(const CdsLogFile&) = delete;
    CdsLogFile& operator=(const CdsLogFile&) = delete;

    // Closes the open file, then opens the file of the date in the folder; a
    // missing folder (and its missing parents) is made. False when it cannot
    // be opened.
    bool Open(const std::string& strFolder, const std::string& strDate);
    bool IsOpen() const { return m_pFile != nullptr; }
    const std::string& GetFileName() const { return m_strFileName; }
    const std::string& GetDate() const { return m_strDate; }

    void Write(const std::string& line);
    void Flush();
    void Close();

    // "<folder>/<date>.log".
    static std::string FileNameFor(const std::string& strFolder, const std::string& strDate);

private:
    std::FILE* m_pFile = nullptr;
    std::string m_strFileName;
    std::string m_strDate;
};
