#include "support/model/ModelFakes.h"

#include "kestrun/model/Hint.h"

namespace testsupport {

void FakeHandler::SendUpdateMessageFromThread(int nCode, CdsHint* pHint)
{
    hints.push_back({nCode, pHint ? pHint->m_nNumber : 0, pHint ? pHint->m_pObject : nullptr,
                     pHint ? pHint->m_value : _BRISANTDATAVALUE{}});
}

std::vector<int> FakeHandler::Codes() const
{
    std::vector<int> codes;
    for (const Hint& hint : hints)
        codes.push_back(hint.code);
    return codes;
}

} // namespace testsupport
