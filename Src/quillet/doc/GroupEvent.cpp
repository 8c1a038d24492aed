#include "quillet/doc/GroupEvent.h"

#include "quillet/doc/Group.h"
#include "quillet/text/StringTable.h"
#include "quillet/doc/TimerWindow.h"
#include "quillet/text/VariantText.h"

#include <algorithm>
#include <atomic>
#include <stdexcept>

namespace {
// Timer ids of events, shared by every window of the program.
std::atomic<UINT_PTR> s_nextTimerId{CGroupEvent::kFirstTimerId};
} // namespace

LONG CValueSequence::Next()
{
    const LONG sum = LONG(std::uint32_t(m_lCurrent) + std::uint32_t(m_lPrevious));
    m_lPrevious = m_lCurrent;
    m_lCurrent = sum;
    if (m_bKeepPositive && m_lCurrent < 0) m_lCurrent = LONG(0u - std::uint32_t(m_lCurrent));
    return m_lCurrent;
}

void CValueSequence::Reset() { m_lPrevious = m_lCurrent = 1; }

std::string CEventValueGenerator::NextWriteText()
{
    if (m_nCalls < kCallsPerRound) {
        ++m_nCalls;
    } else {
        m_sequence.Reset();
        m_nCalls = 0;
    }
    return std::to_string(m_sequence.Next());
}

CGroupEvent::CGroupEvent(DWORD type, std::string name, std::vector<OPCHANDLE> items, DWORD intervalMs, CGroup& group,
                         quillet::TimerWindow& timerWindow, BOOL onlyIfActive)
    : m_bOnlyIfActive(onlyIfActive)
    , m_dwType(type)
    , m_strName(std::move(name))
    , m_items(std::move(items))
    , m_dwInterval(intervalMs)
    , m_timerId(s_nextTimerId++)
    , m_group(group)
    , m_dispatcher(timerWindow.Dispatcher())
    , m_window(timerWindow.Key())
{
    m_dispatcher.startTimer(m_window, m_timerId, m_dwInterval);
}

CGroupEvent::~CGroupEvent() { m_dispatcher.stopTimer(m_window, m_timerId); }

void CGroupEvent::RestartTimer(UINT_PTR newId)
{
    m_dispatcher.stopTimer(m_window, m_timerId);
    m_timerId = newId;
    m_dispatcher.startTimer(m_window, m_timerId, m_dwInterval);
}

void CGroupEvent::SetInterval(DWORD intervalMs)
{
    m_dwInterval = intervalMs;
    RestartTimer(m_timerId);
}

void CGroupEvent::ReplaceItem(OPCHANDLE hItem, OPCHANDLE replacement)
{
    if (replacement) std::replace(m_items.begin(), m_items.end(), hItem, replacement);
    else std::erase(m_items, hItem);
}

std::string CGroupEvent::TypeName(const quillet::StringTable& texts, DWORD type)
{
    if (type > EVENT_TOGGLE_ACTIVE) return {};
    return std::string(texts.Text(quillet::IDS_EVENT_TYPE_FIRST + UINT(type)));
}

bool CGroupEvent::BuildWriteValues(const std::vector<CItem*>& items, std::vector<OPCHANDLE>& handles,
                                   std::vector<VARIANT>& values)
{
    for (CItem* item : items) {
        const VARTYPE type = item->GetCanonicalType();
        handles.push_back(item->GetServerHandle());
        if (!(type & VT_ARRAY)) {
            values.push_back(quillet::TextToVariant(m_generator.NextWriteText(), type));
            continue;
        }
        const VARTYPE element = type & 0xFF;
        const auto& current = item->Values(ValueRoad::Subscription).value;
        const ULONG count = current && current->isArray() && current->parray() ? current->parray()->count() : 1;
        if (!SAFEARRAY::canHold(element)) return false;
        SAFEARRAY array(element, count);
        // A VT_VARIANT array would take the empty value a text cannot become: the element
        // must come out with exactly the element type, else nothing is written.
        for (ULONG i = 0; i < count; ++i) {
            VARIANT value = quillet::TextToVariant(m_generator.NextWriteText(), element);
            if (value.vt() != element || FAILED(array.putElement(LONG(i), std::move(value)))) return false;
        }
        values.push_back(VARIANT::Array(std::move(array)));
    }
    return true;
}
