// The connection's message log: the queue the logger view drains and the log file.
#include "quillet/doc/QuilletDoc.h"

#include "quillet/text/UiServices.h"
#include "quillet/text/StringTable.h"

#include "platform/win/Clock.h"

#include <chrono>

BOOL CQuilletDoc::WriteLog(DWORD category, std::string_view text)
{
    std::lock_guard lock(m_logMutex);
    if ((category & m_dwLogMask) == 0) return FALSE;
    quillet::CLogEntry entry{category, std::chrono::system_clock::to_time_t(Clock().wallTime()), std::string(text)};
    if (m_logFile) {
        *m_logFile << quillet::LogTimeText(entry.time) << '\t' << quillet::DisplayText(Texts(), entry) << "\r\n";
        m_logFile->flush();
    }
    m_logEntries.push_back(std::move(entry));
    return TRUE;
}

void CQuilletDoc::ConfigureLog(std::string fileName, DWORD mask)
{
    {
        std::lock_guard lock(m_logMutex);
        m_dwLogMask = mask;
        // Confirming the dialog with the same name goes on writing the open file.
        if (fileName == m_strLogFile && m_logFile) return;
        const bool sameName = fileName == m_strLogFile;
        m_logFile.reset();
        m_strLogFile = fileName;
        if (fileName.empty()) return;
        // A name kept from a saved document is appended to; a new name starts a new file.
        auto file = std::make_unique<std::ofstream>(fileName, std::ios::binary | (sameName ? std::ios::app : std::ios::trunc));
        if (*file) {
            m_logFile = std::move(file);
            return;
        }
    }
    Ui().MessageBox(quillet::FormatText(Texts().Text(quillet::IDS_LOG_FILE_FAILED), fileName));
}

void CQuilletDoc::SetLogMask(DWORD mask)
{
    std::lock_guard lock(m_logMutex);
    m_dwLogMask = mask;
}

void CQuilletDoc::SetLogFileName(std::string fileName)
{
    std::lock_guard lock(m_logMutex);
    if (fileName != m_strLogFile) m_logFile.reset();
    m_strLogFile = std::move(fileName);
}

DWORD CQuilletDoc::GetLogMask() const
{
    std::lock_guard lock(m_logMutex);
    return m_dwLogMask;
}

std::string CQuilletDoc::GetLogFileName() const
{
    std::lock_guard lock(m_logMutex);
    return m_strLogFile;
}

std::vector<quillet::CLogEntry> CQuilletDoc::TakeLogEntries()
{
    std::lock_guard lock(m_logMutex);
    std::vector<quillet::CLogEntry> taken(std::make_move_iterator(m_logEntries.begin()),
                                          std::make_move_iterator(m_logEntries.end()));
    m_logEntries.clear();
    return taken;
}

void CQuilletDoc::DeleteLogEntries()
{
    std::lock_guard lock(m_logMutex);
    m_logEntries.clear();
}
