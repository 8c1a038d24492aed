#pragma once
// One MELSEC device of the server, on a handler with one open line to a PLC: what the
// integration tests write with and read back with, through the driver alone, so that
// they run against the simulator and against any outside PLC alike.
#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "fenwold/CommHdlr.h"
#include "fenwold/DeviceObject.h"
#include "fenwold/MemoryArray.h"
#include "fenwold/PlcKinds.h"
#include "platform/win/ManualDispatcher.h"
#include "support/DestroyPtr.h"
#include "support/comm/ScriptedTransport.h"

namespace fenwoldtest {

// What the line's sockets were asked to do, counted as they do it.
struct SocketCalls {
    std::atomic<int> receiveWaits{0}; // waits for an answer inside the receive
    std::atomic<int> pumpWaits{0};    // waits of the pump (poll)
    std::atomic<int> bytesWaiting{0}; // questions for the bytes waiting (FIONREAD)
    void Clear() { receiveWaits = pumpWaits = bytesWaiting = 0; }
};

// Long waits (the reset delay) are recorded instead of slept; the short ones of the
// read loops still pass, so the PLC gets its time.
class RecordingSleepHdlr : public CCommHdlr {
public:
    void Sleep(DWORD dwMs) override;
    std::atomic<DWORD> waited{0};
    SocketCalls calls;

protected:
    std::unique_ptr<CdsListenSocket> NewLineSocket(CdsDeviceObject* pDevice, int nLine) override;
};

class PlcLink {
public:
    // Each frame kind's tests keep to a region of 1024 elements of every device, and
    // the bridge test to region 6: test shards run at the same time against one PLC.
    static constexpr DWORD kRegionSize = 1024;
    static DWORD Region(int region) { return kRegionSize * static_cast<DWORD>(region); }

    PlcLink();
    ~PlcLink();
    PlcLink(const PlcLink&) = delete;
    PlcLink& operator=(const PlcLink&) = delete;

    // Configures the device for the kind and opens its line to the PLC.
    bool Open(const std::string& host, std::uint16_t port, const PlcKind& kind);
    void Close();
    // Makes the device redundant with a secondary master line to the same PLC and
    // opens that line; null when it cannot be opened.
    tagTHREADINFO* OpenSecondLine();

    // "D100", "X1F": the address of an element as the device numbers it.
    static std::string Address(WORD code, DWORD number);
    // A block of the device; null when the device refuses it.
    CMemoryArray* AddBlock(WORD code, DWORD number, int type, int points);

    // A read that delivered values (a failed one is logged), and a write the PLC took.
    bool Read(CMemoryArray* block);
    bool Write(CMemoryArray* block, int index, const _BRISANTDATAVALUE& value);

    // Words (of a bit device: 16 elements each) and single elements, written point by
    // point and read in one block.
    bool WritePoints(WORD code, DWORD number, int type, const std::vector<_BRISANTDATAVALUE>& values);
    std::optional<std::vector<_BRISANTDATAVALUE>> ReadPoints(WORD code, DWORD number, int type, int count);
    bool WriteWords(WORD code, DWORD number, const std::vector<WORD>& words);
    std::optional<std::vector<WORD>> ReadWords(WORD code, DWORD number, int count);
    bool WriteBits(WORD code, DWORD number, const std::vector<bool>& bits);
    std::optional<std::vector<bool>> ReadBits(WORD code, DWORD number, int count);

    bool Logged(const std::string& text) const;

    // The points of a block read in one request, each taken by `take`.
    template <class T, class Take>
    std::optional<std::vector<T>> ReadAs(WORD code, DWORD number, int type, int count, Take take)
    {
        const auto values = ReadPoints(code, number, type, count);
        if (!values)
            return std::nullopt;
        std::vector<T> taken;
        for (const _BRISANTDATAVALUE& v : *values)
            taken.push_back(take(v));
        return taken;
    }

    win::FakeClock dispatchClock{10000};
    win::ManualDispatcher dispatcher{dispatchClock};
    kestrun::test::RecordingLog log{dispatcher};
    std::shared_ptr<RecordingSleepHdlr> hdlr = std::make_shared<RecordingSleepHdlr>();
    testsupport::DestroyPtr<CDeviceObject> device;
    tagTHREADINFO* line = nullptr;

private:
    int m_blocks = 0;
};

}  // namespace fenwoldtest
