#pragma once
// Device memory of the simulated PLC; every call is thread-safe.
#include <condition_variable>
#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <vector>

namespace plcsim {

class Memory {
public:
    Memory();

    // Single points. A word access to a bit device packs 16 bits, lowest number in bit 0.
    // Out-of-range or unknown devices read as 0 and ignore writes.
    std::uint16_t word(std::uint8_t device, std::uint32_t number) const;
    bool bit(std::uint8_t device, std::uint32_t number) const;
    void setWord(std::uint8_t device, std::uint32_t number, std::uint16_t value);
    void setBit(std::uint8_t device, std::uint32_t number, bool value);

    // Runs of points; false (and nothing done) when the run leaves the device.
    bool readWords(std::uint8_t device, std::uint32_t number, std::uint32_t count,
                   std::vector<std::uint16_t>& out) const;
    bool readBits(std::uint8_t device, std::uint32_t number, std::uint32_t count,
                  std::vector<std::uint8_t>& out) const;
    bool writeWords(std::uint8_t device, std::uint32_t number, const std::vector<std::uint16_t>& values);
    bool writeBits(std::uint8_t device, std::uint32_t number, const std::vector<std::uint8_t>& values);

    // Several runs as one change, under one lock, so no reader sees half a request.
    // Nothing is written unless every run fits.
    struct Write {
        std::uint8_t device = 0;
        std::uint32_t number = 0;
        bool bitUnits = false;
        std::vector<std::uint8_t> bits;
        std::vector<std::uint16_t> words;
    };
    bool write(const std::vector<Write>& writes);

    void clear();

    // Counts every write that reached memory (from the wire or from set* calls).
    std::uint64_t changeCount() const;
    // Waits until changeCount() exceeds `seen`; false on time-out.
    bool waitForChange(std::uint64_t seen, std::chrono::milliseconds timeout) const;

private:
    struct Area {
        bool bit = false;
        std::uint32_t size = 0;
        std::vector<std::uint8_t> bits;   // one byte per bit point
        std::vector<std::uint16_t> words;
    };
    const Area* area(std::uint8_t device) const;
    Area* area(std::uint8_t device);
    std::uint16_t wordLocked(const Area& a, std::uint32_t number) const;
    void setWordLocked(Area& a, std::uint32_t number, std::uint16_t value);
    void changedLocked();
    bool fitsLocked(const Write& w) const;
    void writeLocked(const Write& w);

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::map<std::uint8_t, Area> areas_;   // keyed by storage code
    std::uint64_t changes_ = 0;
};

} // namespace plcsim
