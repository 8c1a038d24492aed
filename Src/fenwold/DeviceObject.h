#pragma once
// A MELSEC PLC station of the server: the framework's device with the MC-protocol
// facts every frame needs and the monitor query that checks the connection.
#include <array>
#include <atomic>
#include <string_view>

#include "fenwold/McStation.h"
#include "kestrun/model/DeviceObject.h"

class CDeviceObject : public CdsDeviceObject, public McStation {
    DECLARE_SERIAL(CDeviceObject)
public:
    CDeviceObject();
    ~CDeviceObject() override;

    void Serialize(CArchive& ar) override;
    // Copies the configuration and the frame settings (not blocks, counters or state).
    CdsDeviceObject& operator=(const CdsDeviceObject& src) override;
    CDeviceObject& operator=(const CDeviceObject& src);

    // The server's block dialog, which edits the range a block reads, and its
    // time-out dialog.
    std::unique_ptr<CdsMemoryArrayDlg> NewMemoryArrayDlg() const override;
    std::unique_ptr<CdsTimeoutDlg> NewTimeoutDlg() const override;

    bool IsErrorStatusAvailable() const override { return true; }
    bool IsRunStatusAvailable() const override { return true; }
    bool IsMasterStatusAvailable() const override { return true; }
    // Frame kind from the configuration (device types 1..5, protocol string);
    // requests built for the old configuration are made again.
    BOOL OnInitDeviceObject() override;
    CdsMemoryArray* NewMemoryArray() override;
    // A block from a template: its device is the device whose name opens the
    // template's address (SD100 is SD, ZR0 is ZR); none for a text that is no
    // element's address or when a block of that address exists. Inputs are made read-only.
    CdsMemoryArray* NewMemoryArray(const CdsMemoryArray& src) override;
    BOOL InitMemoryArray(CdsMemoryArray* pArray) override;
    // What the write-request builders refuse for the point, whatever its value.
    std::string GetWriteRefusal(const CdsMemoryObject& point) const override;
    // Any monitor response shows the station answers.
    int UpdateStatus(const BYTE* pData, int nLength, const tagTHREADINFO* pLine) override;
    // A read of one word at F0 in the station's frame kind, built into the line's
    // monitor buffer when asked to rebuild.
    char* GetMonitorQueryString(const tagTHREADINFO* pLine, bool bRebuild) override;
    int GetMonitorQueryStringLen(const tagTHREADINFO* pLine, const char* pszText) override;
    int GetMonitorResponseStringLen(const tagTHREADINFO* pLine) const override;

    std::string_view GetStationAddress() const override { return m_strAddress; }

private:
    std::array<std::atomic<int>, kLines> m_nMonitorLength;
};
