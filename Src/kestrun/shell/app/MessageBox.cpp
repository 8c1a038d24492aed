#include "kestrun/shell/app/MessageBox.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <mutex>

#include "platform/win/DebugOutput.h"

namespace shell {

namespace {

std::atomic<MessageBoxPresenter*> g_presenter{nullptr};
std::atomic<ServiceModeQuery> g_serviceMode{nullptr};

std::mutex g_captionMutex; // guards g_caption
std::string g_caption;

} // namespace

int NonInteractivePresenter::Show(const std::string& text, const std::string& caption, unsigned, int defaultAnswer)
{
    win::OutputDebugString(caption.empty() ? text : caption + ": " + text);
    return defaultAnswer;
}

MessageBoxPresenter* InstallMessageBoxPresenter(MessageBoxPresenter* presenter)
{
    return g_presenter.exchange(presenter);
}

MessageBoxPresenter& CurrentMessageBoxPresenter()
{
    static NonInteractivePresenter fallback; // stateless
    MessageBoxPresenter* presenter = g_presenter.load();
    return presenter ? *presenter : fallback;
}

void InstallServiceModeQuery(ServiceModeQuery query) { g_serviceMode.store(query); }

} // namespace shell

void svcSetCaption(const std::string& caption)
{
    std::lock_guard lock(shell::g_captionMutex);
    shell::g_caption = caption;
}

std::string svcGetCaption()
{
    std::lock_guard lock(shell::g_captionMutex);
    return shell::g_caption;
}

int svcMessageBox(const std::string& text, unsigned type, int defaultAnswer, const char* caption)
{
    const std::string title = caption ? std::string(caption) : svcGetCaption();
    const shell::ServiceModeQuery serviceMode = shell::g_serviceMode.load();
    if (serviceMode && serviceMode()) {
        static shell::NonInteractivePresenter service;
        return service.Show(text, title, type, defaultAnswer);
    }
    return shell::CurrentMessageBoxPresenter().Show(text, title, type, defaultAnswer);
}

int svcMessageBox(const std::string& text, unsigned type, const char* caption)
{
    return svcMessageBox(text, type, 0, caption);
}

void svcMessageBox(const std::string& text, const char* caption)
{
    svcMessageBox(text, shell::MB_OK, shell::IDOK, caption);
}

namespace {
// -1 until the environment was read.
std::atomic<int> g_debugWanted{-1};
} // namespace

bool IsDebugOutputWanted()
{
    int wanted = g_debugWanted.load();
    if (wanted < 0) {
        const char* value = std::getenv("TESSARO_DEBUG");
        wanted = value && *value && std::string_view(value) != "0" ? 1 : 0;
        g_debugWanted.store(wanted);
    }
    return wanted != 0;
}

void SetDebugOutputWanted(bool bWanted) { g_debugWanted.store(bWanted ? 1 : 0); }

void TraceDebug(const char* format, ...)
{
    char buffer[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    win::OutputDebugString(buffer);
}
