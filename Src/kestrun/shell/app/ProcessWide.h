#pragma once
// The one object of a class that the whole process reaches (the application,
// the main window, each view): the first one made takes the slot, and gives it
// up when it goes. Hold it as the object's first member.
#include <atomic>

namespace shell {

template <class T>
class ProcessWide {
public:
    ProcessWide(std::atomic<T*>& slot, T* self) : m_slot(slot), m_self(self)
    {
        T* expected = nullptr;
        m_slot.compare_exchange_strong(expected, self);
    }
    ~ProcessWide()
    {
        T* self = m_self;
        m_slot.compare_exchange_strong(self, nullptr);
    }
    ProcessWide(const ProcessWide&) = delete;
    ProcessWide& operator=(const ProcessWide&) = delete;

    // Whether this object holds the slot.
    bool IsCurrent() const { return m_slot.load() == m_self; }

private:
    std::atomic<T*>& m_slot;
    T* m_self;
};

} // namespace shell
