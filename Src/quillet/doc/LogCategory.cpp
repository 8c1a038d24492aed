#include "quillet/doc/LogCategory.h"

#include "quillet/text/ErrorText.h"
#include "quillet/text/StringTable.h"

#include <algorithm>
#include <array>

namespace quillet {
namespace {

constexpr std::array<DWORD, 20> kLabelled = {
    LOG_ITEM_ADD,      LOG_ITEM_REMOVE,      LOG_ITEM_ERROR,     LOG_ITEM_INACTIVE_UPDATE, LOG_GROUP_ADD,
    LOG_GROUP_REMOVE,  LOG_GROUP_ERROR,      LOG_SYNC_WRITE,     LOG_SYNC_READ,            LOG_ASYNC_REFRESH,
    LOG_ASYNC_WRITE,   LOG_ASYNC_READ,       LOG_ASYNC_CANCEL,   LOG_TRANSACTION_TIMEOUT,  LOG_SERVER,
    LOG_SUBSCRIPTION,  LOG_ASYNC_READ_COMPLETE, LOG_WRITE_COMPLETE, LOG_TRANSACTION_COMPLETE, LOG_RUN_AVERAGE,
};

} // namespace

std::span<const DWORD> LabelledCategories() { return kLabelled; }

std::string DisplayText(const StringTable& texts, DWORD category, std::string_view message)
{
    std::string text;
    if (category != LOG_NONE) {
        auto it = std::find(kLabelled.begin(), kLabelled.end(), category);
        if (it != kLabelled.end()) text = texts.Text(IDS_LOG_LABEL_FIRST + UINT(it - kLabelled.begin()));
        else text = ErrorText(texts, HRESULT(category));
    }
    if (!message.empty()) {
        text += " - ";
        text += message;
    }
    return text;
}

std::string LogTimeText(std::time_t time)
{
    std::tm local{};
    char buffer[16] = {};
    if (!localtime_r(&time, &local) || std::strftime(buffer, sizeof buffer, "%H:%M:%S", &local) == 0) return {};
    return buffer;
}

} // namespace quillet
