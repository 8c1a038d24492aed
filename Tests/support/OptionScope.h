#pragma once
// Sets one option static for the scope of a test and puts the old value back.
#include <atomic>
#include <type_traits>

namespace testsupport {

template <class T>
class OptionScope {
public:
    OptionScope(std::atomic<T>& option, std::type_identity_t<T> value) : m_option(option), m_old(option.load())
    {
        option = value;
    }
    ~OptionScope() { m_option = m_old; }
    OptionScope(const OptionScope&) = delete;
    OptionScope& operator=(const OptionScope&) = delete;

private:
    std::atomic<T>& m_option;
    T m_old;
};

// The value's type follows the option's: OptionScope x(g_dwDataUpdateTime, 10).
template <class T, class V>
OptionScope(std::atomic<T>&, V) -> OptionScope<T>;

} // namespace testsupport
