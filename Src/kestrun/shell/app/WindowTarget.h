#pragma once
// A window of the application that other threads reach: its dispatcher and key,
// set and cleared together (keys of two dispatchers may be equal). The
// dispatcher must outlive every thread that posts through the target.
#include <mutex>
#include <utility>

#include "platform/win/Dispatcher.h"

namespace shell {

class WindowTarget {
public:
    void Set(win::Dispatcher* pDispatcher, win::WindowKey key)
    {
        std::lock_guard lock(m_mutex);
        m_pDispatcher = pDispatcher;
        m_key = key;
    }
    // Forgets the window when it is still this one.
    void Clear(const win::Dispatcher* pDispatcher, win::WindowKey key)
    {
        std::lock_guard lock(m_mutex);
        if (m_pDispatcher == pDispatcher && m_key == key) {
            m_pDispatcher = nullptr;
            m_key = win::kNoWindow;
        }
    }
    std::pair<win::Dispatcher*, win::WindowKey> Get() const
    {
        std::lock_guard lock(m_mutex);
        return {m_pDispatcher, m_key};
    }
    win::WindowKey Key() const { return Get().second; }
    // False without a window (the message is dropped).
    bool Post(win::Message msg) const
    {
        const auto [pDispatcher, key] = Get();
        return pDispatcher && key != win::kNoWindow && pDispatcher->post(key, std::move(msg));
    }
    bool Send(win::Message msg, DWORD timeoutMs, LRESULT* pResult) const
    {
        const auto [pDispatcher, key] = Get();
        return pDispatcher && key != win::kNoWindow && pDispatcher->send(key, std::move(msg), timeoutMs, pResult);
    }

private:
    mutable std::mutex m_mutex; // guards the pair; never held while posting
    win::Dispatcher* m_pDispatcher = nullptr;
    win::WindowKey m_key = win::kNoWindow;
};

} // namespace shell
