#include "kestrun/comm/config/Serializer.h"

#include "platform/afx/Archive.h"
#include "platform/afx/File.h"
#include "platform/afx/MemFile.h"
#include "platform/win/DebugOutput.h"

#include <cerrno>
#include <cstdio>
#include <new>

namespace {

constexpr int kArchiveBuffer = 4096;

} // namespace

COXSerializer::COXSerializer(Notice notice) : m_notice(std::move(notice)) {}

BOOL COXSerializer::Initialize(const std::string& fileName, CObject* pObject)
{
    if (!pObject || !pObject->IsSerializable())
        return FALSE;
    m_strFileName = fileName;
    m_pObject = pObject;
    ClearErrors();
    return TRUE;
}

void COXSerializer::ClearErrors()
{
    m_nFileCause = 0;
    m_lOsError = -1;
    m_nArchiveCause = 0;
}

void COXSerializer::Report(const std::string& text) const
{
    if (m_notice)
        m_notice(text);
    else
        win::OutputDebugString(text); // never waits for a reader
}

// Called inside a catch handler: keeps the cause of the file, archive or memory
// failure and shows it with bReport. Any other exception goes on to the caller.
void COXSerializer::KeepError(BOOL bReport)
{
    try {
        throw;
    } catch (const CFileException& e) {
        m_nFileCause = e.m_cause;
        m_lOsError = e.m_lOsError;
        if (bReport)
            Report(e.GetErrorMessage());
    } catch (const CArchiveException& e) {
        m_nArchiveCause = e.m_cause;
        if (bReport)
            Report(e.GetErrorMessage());
    } catch (const std::bad_alloc&) {
        if (bReport)
            Report("Out of Memory!");
    }
}

BOOL COXSerializer::Load(BOOL bReport)
{
    if (!m_pObject)
        return FALSE;
    ClearErrors();
    try {
        CFile file(m_strFileName, CFile::modeRead | CFile::shareExclusive | CFile::typeBinary);
        CArchive ar(&file, CArchive::load, kArchiveBuffer);
        m_pObject->Serialize(ar);
        ar.Close();
        file.Close();
        return TRUE;
    } catch (...) {
        KeepError(bReport);
    }
    return FALSE;
}

BOOL COXSerializer::Save(BOOL bReport)
{
    if (!m_pObject)
        return FALSE;
    ClearErrors();
    try {
        // The record is made in memory first, so a failing object never leaves a
        // half-written file behind.
        CMemFile memory;
        {
            CArchive ar(&memory, CArchive::store, kArchiveBuffer);
            m_pObject->Serialize(ar);
            ar.Close();
        }
        // Written beside the file and moved over it, so a failure part-way (a full
        // disk, a crash) keeps the settings saved before.
        const auto bytes = memory.GetData();
        const std::string temp = m_strFileName + ".tmp";
        {
            CFile file(temp, CFile::modeCreate | CFile::modeWrite | CFile::shareExclusive | CFile::typeBinary);
            try {
                file.Write(bytes.data(), static_cast<UINT>(bytes.size()));
                file.Close();
            } catch (const CFileException&) {
                file.Abort();
                std::remove(temp.c_str());
                throw;
            }
        }
        if (std::rename(temp.c_str(), m_strFileName.c_str()) != 0) {
            const int error = errno;
            std::remove(temp.c_str());
            CFileException::ThrowOsError(error, m_strFileName);
        }
        return TRUE;
    } catch (...) {
        KeepError(bReport);
    }
    return FALSE;
}
