#include "kestrun/comm/serial/SerialCommPort.h"

#include "kestrun/comm/config/ReturnError.h"
#include "kestrun/comm/serial/SerialCommFile.h"

#include <climits>

namespace kestrun {

SerialCommPort::SerialCommPort(std::shared_ptr<COXSerialCommFile> pFile) : m_pFile(std::move(pFile)) {}

int SerialCommPort::BytesWaiting()
{
    try {
        const DWORD n = m_pFile->GetBytesToRead();
        return n > static_cast<DWORD>(INT_MAX) ? INT_MAX : static_cast<int>(n);
    } catch (const COXSerialCommException& e) {
        return CommErrorResult(SerialErrorCode(e.m_nCause));
    } catch (...) {
        return CommErrorResult(RE_SERIAL_EXCEPTION);
    }
}

int SerialCommPort::Read(BYTE* pBuffer, int nLength)
{
    if (nLength <= 0)
        return 0;
    try {
        return static_cast<int>(m_pFile->Read(pBuffer, static_cast<UINT>(nLength)));
    } catch (const COXSerialCommException& e) {
        return CommErrorResult(SerialErrorCode(e.m_nCause));
    } catch (const CFileException&) {
        return CommErrorResult(RE_FILE_EXCEPTION);
    } catch (...) {
        return CommErrorResult(RE_SERIAL_EXCEPTION);
    }
}

int SerialCommPort::Write(const BYTE* pData, int nLength)
{
    if (nLength <= 0)
        return 0;
    try {
        m_pFile->Write(pData, static_cast<UINT>(nLength));
        return nLength;
    } catch (const COXSerialCommException& e) {
        return CommErrorResult(SerialErrorCode(e.m_nCause));
    } catch (const CFileException&) {
        return CommErrorResult(RE_FILE_EXCEPTION);
    } catch (...) {
        return CommErrorResult(RE_WRITE_EXCEPTION);
    }
}

bool SerialCommPort::IsOpen() const
{
    return m_pFile->IsOpen();
}

void SerialCommPort::Close()
{
    m_pFile->Close();
}

} // namespace kestrun
