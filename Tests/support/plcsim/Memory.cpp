#include "support/plcsim/Memory.h"

#include "support/plcsim/Devices.h"

#include <algorithm>

namespace plcsim {

Memory::Memory()
{
    for (auto d = deviceTableBegin(); d != deviceTableEnd(); ++d) {
        if (d->storage != d->code) continue;
        Area& a = areas_[d->code];
        a.bit = d->bit;
        a.size = d->size;
        if (a.bit) a.bits.assign(a.size, 0);
        else a.words.assign(a.size, 0);
    }
}

const Memory::Area* Memory::area(std::uint8_t device) const
{
    const DeviceInfo* d = findDevice(device);
    if (!d) return nullptr;
    auto it = areas_.find(d->storage);
    return it == areas_.end() ? nullptr : &it->second;
}

Memory::Area* Memory::area(std::uint8_t device)
{
    return const_cast<Area*>(static_cast<const Memory*>(this)->area(device));
}

std::uint16_t Memory::wordLocked(const Area& a, std::uint32_t number) const
{
    if (!a.bit) return number < a.size ? a.words[number] : 0;
    std::uint16_t v = 0;
    for (std::uint32_t i = 0; i < 16; ++i)
        if (number + i < a.size && a.bits[number + i]) v |= std::uint16_t(1u << i);
    return v;
}

void Memory::setWordLocked(Area& a, std::uint32_t number, std::uint16_t value)
{
    if (!a.bit) {
        if (number < a.size) a.words[number] = value;
        return;
    }
    for (std::uint32_t i = 0; i < 16; ++i)
        if (number + i < a.size) a.bits[number + i] = (value >> i) & 1u;
}

void Memory::changedLocked()
{
    ++changes_;
    changed_.notify_all();
}

std::uint16_t Memory::word(std::uint8_t device, std::uint32_t number) const
{
    std::lock_guard lock(mutex_);
    const Area* a = area(device);
    return a ? wordLocked(*a, number) : 0;
}

bool Memory::bit(std::uint8_t device, std::uint32_t number) const
{
    std::lock_guard lock(mutex_);
    const Area* a = area(device);
    if (!a) return false;
    if (a->bit) return number < a->size && a->bits[number];
    // A bit of a word device: number is word * 16 + bit.
    std::uint32_t w = number / 16;
    return w < a->size && ((a->words[w] >> (number % 16)) & 1u);
}

void Memory::setWord(std::uint8_t device, std::uint32_t number, std::uint16_t value)
{
    std::lock_guard lock(mutex_);
    Area* a = area(device);
    if (!a) return;
    setWordLocked(*a, number, value);
    changedLocked();
}

void Memory::setBit(std::uint8_t device, std::uint32_t number, bool value)
{
    std::lock_guard lock(mutex_);
    Area* a = area(device);
    if (!a) return;
    if (a->bit) {
        if (number < a->size) a->bits[number] = value;
    } else {
        std::uint32_t w = number / 16;
        if (w >= a->size) return;
        auto mask = std::uint16_t(1u << (number % 16));
        a->words[w] = value ? std::uint16_t(a->words[w] | mask) : std::uint16_t(a->words[w] & ~mask);
    }
    changedLocked();
}

bool Memory::readWords(std::uint8_t device, std::uint32_t number, std::uint32_t count,
                       std::vector<std::uint16_t>& out) const
{
    std::lock_guard lock(mutex_);
    const Area* a = area(device);
    if (!a) return false;
    std::uint64_t span = a->bit ? std::uint64_t(count) * 16 : count;
    if (std::uint64_t(number) + span > a->size) return false;
    out.clear();
    out.reserve(count);
    for (std::uint32_t i = 0; i < count; ++i)
        out.push_back(wordLocked(*a, a->bit ? number + i * 16 : number + i));
    return true;
}

bool Memory::readBits(std::uint8_t device, std::uint32_t number, std::uint32_t count,
                      std::vector<std::uint8_t>& out) const
{
    std::lock_guard lock(mutex_);
    const Area* a = area(device);
    if (!a || !a->bit || std::uint64_t(number) + count > a->size) return false;
    out.assign(a->bits.begin() + number, a->bits.begin() + number + count);
    return true;
}

bool Memory::writeWords(std::uint8_t device, std::uint32_t number, const std::vector<std::uint16_t>& values)
{
    return write({Write{device, number, false, {}, values}});
}

bool Memory::writeBits(std::uint8_t device, std::uint32_t number, const std::vector<std::uint8_t>& values)
{
    return write({Write{device, number, true, values, {}}});
}

bool Memory::fitsLocked(const Write& w) const
{
    const Area* a = area(w.device);
    if (!a) return false;
    if (w.bitUnits) return a->bit && std::uint64_t(w.number) + w.bits.size() <= a->size;
    std::uint64_t span = a->bit ? std::uint64_t(w.words.size()) * 16 : w.words.size();
    return std::uint64_t(w.number) + span <= a->size;
}

void Memory::writeLocked(const Write& w)
{
    Area& a = *area(w.device);
    if (w.bitUnits) {
        for (std::size_t i = 0; i < w.bits.size(); ++i) a.bits[w.number + i] = w.bits[i] ? 1 : 0;
        return;
    }
    for (std::size_t i = 0; i < w.words.size(); ++i)
        setWordLocked(a, a.bit ? w.number + std::uint32_t(i) * 16 : w.number + std::uint32_t(i), w.words[i]);
}

bool Memory::write(const std::vector<Write>& writes)
{
    std::lock_guard lock(mutex_);
    for (const auto& w : writes)
        if (!fitsLocked(w)) return false;
    for (const auto& w : writes) writeLocked(w);
    changedLocked();
    return true;
}

void Memory::clear()
{
    std::lock_guard lock(mutex_);
    for (auto& [code, a] : areas_) {
        std::fill(a.bits.begin(), a.bits.end(), 0);
        std::fill(a.words.begin(), a.words.end(), 0);
    }
    changedLocked();
}

std::uint64_t Memory::changeCount() const
{
    std::lock_guard lock(mutex_);
    return changes_;
}

bool Memory::waitForChange(std::uint64_t seen, std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return changes_ > seen; });
}

} // namespace plcsim
