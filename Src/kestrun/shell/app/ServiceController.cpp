#include "kestrun/shell/app/ServiceController.h"

#include <mutex>

#include "kestrun/shell/app/SystemdServiceController.h"

namespace shell {

namespace {

struct Word {
    DWORD value;
    const char* text;
};

template <std::size_t N>
const char* WordOf(const Word (&words)[N], DWORD value, const char* other)
{
    for (const Word& word : words)
        if (word.value == value)
            return word.text;
    return other;
}

std::mutex g_factoryMutex; // a leaf
ServiceControllerFactory g_factory;

} // namespace

ServiceController::ServiceController(std::string strName) : m_strName(std::move(strName))
{
    for (DWORD bit = 1; bit <= 2048; bit <<= 1)
        m_accepted[bit] = false;
}

bool ServiceController::IsControlAccepted(DWORD dwControl) const
{
    const auto it = m_accepted.find(dwControl);
    return it != m_accepted.end() && it->second;
}

void ServiceController::SetControlAccepted(DWORD dwControl, bool bAccepted)
{
    if (auto it = m_accepted.find(dwControl); it != m_accepted.end())
        it->second = bAccepted;
}

const char* ServiceController::StateText(DWORD dwState)
{
    static constexpr Word kWords[] = {{1, "Stopped"}, {2, "Starting"}, {3, "Stopping"}, {4, "Running"},
                                      {5, "Continuing"}, {6, "Pausing"}, {7, "Paused"}};
    return WordOf(kWords, dwState, "Unknown");
}

const char* ServiceController::StartTypeText(DWORD dwType)
{
    static constexpr Word kWords[] = {{0, "Boot"}, {1, "System"}, {2, "Auto"}, {3, "Demand"}, {4, "Disabled"}};
    return WordOf(kWords, dwType, "");
}

const char* ServiceController::ErrorControlText(DWORD dwControl)
{
    static constexpr Word kWords[] = {{0, "Ignore"}, {1, "Normal"}, {2, "Severe"}, {3, "Critical"}};
    return WordOf(kWords, dwControl, "");
}

const char* ServiceController::ServiceTypeText(DWORD dwType)
{
    static constexpr Word kWords[] = {{1, "KernelDriver"},      {2, "FileSystemDriver"},   {4, "Adapter"},
                                      {8, "RecognizerDriver"},  {11, "Driver"},            {16, "Win32OwnProcess"},
                                      {32, "Win32ShareProcess"}, {48, "Win32"},            {256, "InteractiveDriver"},
                                      {1023, "All"}};
    return WordOf(kWords, dwType, "");
}

ServiceControllerFactory InstallServiceControllerFactory(ServiceControllerFactory factory)
{
    std::lock_guard lock(g_factoryMutex);
    std::swap(g_factory, factory);
    return factory;
}

std::unique_ptr<ServiceController> OpenServiceController(const std::string& strName)
{
    ServiceControllerFactory factory;
    {
        std::lock_guard lock(g_factoryMutex);
        factory = g_factory;
    }
    if (factory)
        return factory(strName);
    return std::make_unique<SystemdServiceController>(strName);
}

} // namespace shell
