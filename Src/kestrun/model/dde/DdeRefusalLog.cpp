#include "kestrun/model/dde/DdeRefusalLog.h"

#include <algorithm>
#include <utility>

#include "kestrun/model/DataType.h"
#include "kestrun/model/DeviceObject.h"
#include "kestrun/model/MemoryArray.h"
#include "kestrun/model/MemoryObject.h"
#include "platform/win/Clock.h"

namespace kestrun {

DdeRefusalLog::DdeRefusalLog(const win::Clock& clock, Sink sink) : m_clock(clock), m_sink(std::move(sink)) {}

bool DdeRefusalLog::Same(const Kept& kept, int nCode, const CdsHint& hint) const
{
    const CdsHint& first = kept.hint;
    if (kept.nCode != nCode || first.m_nNumber != hint.m_nNumber || first.m_pObject != hint.m_pObject ||
        first.m_strTopic != hint.m_strTopic || first.m_strItem != hint.m_strItem ||
        first.m_strReason != hint.m_strReason)
        return false;
    // Once the model let objects go, the same address may be another point.
    if (first.m_pObject && kept.dwEpoch != CdsHint::CurrentEpoch())
        return false;
    // Only a failed command's line shows the client's value.
    if (nCode != HINT_COMMAND_FAILED)
        return true;
    const _BRISANT_DATAACTION* a = first.GetAction();
    const _BRISANT_DATAACTION* b = hint.GetAction();
    if (!a || !b)
        return a == b;
    return a->nDataType == b->nDataType && !IsNewDataValue(a->nDataType, a->value, b->value, true);
}

void DdeRefusalLog::Log(int nCode, const CdsHint& hint)
{
    Flush(false);
    for (Kept& kept : m_kept) {
        if (Same(kept, nCode, hint)) {
            ++kept.nMore;
            return;
        }
    }
    if (m_kept.size() >= kMaxKept) {
        Summarize(m_kept.front());
        m_kept.erase(m_kept.begin());
    }
    m_sink(nCode, hint);
    Kept kept{nCode, hint, CdsHint::CurrentEpoch(), m_clock.monotonicMs(), 0, {}, {}};
    if (auto* pPoint = dynamic_cast<CdsMemoryObject*>(hint.m_pObject)) {
        kept.strPoint = pPoint->GetPseudoName();
        if (CdsMemoryArray* pBlock = pPoint->GetParent(); pBlock && pBlock->GetParent())
            kept.strDevice = pBlock->GetParent()->m_strName;
    }
    m_kept.push_back(std::move(kept));
}

void DdeRefusalLog::Flush(bool bAll)
{
    if (m_kept.empty())
        return;
    const std::uint64_t now = m_clock.monotonicMs();
    std::erase_if(m_kept, [&](Kept& kept) {
        if (!bAll && now - kept.firstMs < kMinuteMs)
            return false;
        Summarize(kept);
        return true;
    });
}

void DdeRefusalLog::Summarize(Kept& kept)
{
    if (kept.nMore == 0)
        return;
    CdsHint summary = kept.hint;
    summary.m_nRepeats = kept.nMore;
    // A point the model may have let go of is named by its names, never reached.
    if (summary.m_pObject && kept.dwEpoch != CdsHint::CurrentEpoch()) {
        summary.m_pObject = nullptr;
        if (summary.m_strTopic.empty() && summary.m_strItem.empty()) {
            summary.m_strTopic = kept.strDevice;
            summary.m_strItem = kept.strPoint;
        }
    }
    m_sink(kept.nCode, summary);
}

} // namespace kestrun
