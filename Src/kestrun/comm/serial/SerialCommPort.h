#pragma once
// A serial port file as a line's byte channel: port exceptions become the
// engine's status codes (serial cause c gives 0x80000201 + c).
#include "kestrun/comm/config/CommPort.h"

#include <memory>

class COXSerialCommFile;

namespace kestrun {

class SerialCommPort : public CommPort {
public:
    explicit SerialCommPort(std::shared_ptr<COXSerialCommFile> pFile);

    int BytesWaiting() override;
    int Read(BYTE* pBuffer, int nLength) override;
    int Write(const BYTE* pData, int nLength) override;
    bool IsOpen() const override;
    void Close() override;

    const std::shared_ptr<COXSerialCommFile>& GetFile() const { return m_pFile; }

private:
    std::shared_ptr<COXSerialCommFile> m_pFile;
};

} // namespace kestrun
