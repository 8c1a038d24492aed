#pragma once
// Message boxes through one interface. A desktop presenter shows them; the
// non-interactive one (no display, service mode) writes the text to the
// debugger output and answers with the default answer the caller gives.
#include <atomic>
#include <string>

namespace shell {

// Buttons and icons, combined.
enum MessageBoxType : unsigned {
    MB_OK = 0x00,
    MB_OKCANCEL = 0x01,
    MB_YESNOCANCEL = 0x03,
    MB_YESNO = 0x04,
    MB_BUTTONS = 0x0F,
    MB_ICONERROR = 0x10,
    MB_ICONQUESTION = 0x20,
    MB_ICONWARNING = 0x30,
    MB_ICONINFORMATION = 0x40,
    MB_ICONS = 0xF0,
};

// Answers.
enum : int { IDOK = 1, IDCANCEL = 2, IDYES = 6, IDNO = 7 };

class MessageBoxPresenter {
public:
    virtual ~MessageBoxPresenter() = default;
    // Called on the application thread; returns the answer.
    virtual int Show(const std::string& text, const std::string& caption, unsigned type, int defaultAnswer) = 0;
};

class NonInteractivePresenter final : public MessageBoxPresenter {
public:
    int Show(const std::string& text, const std::string& caption, unsigned type, int defaultAnswer) override;
};

// The presenter in use; the non-interactive one until a desktop installs its
// own. Returns the previous one; the caller keeps the new one alive.
MessageBoxPresenter* InstallMessageBoxPresenter(MessageBoxPresenter* presenter);
MessageBoxPresenter& CurrentMessageBoxPresenter();

// Whether the program runs as a service right now, where no box is ever shown.
// Any thread may ask.
using ServiceModeQuery = bool (*)();
// The application that knows its mode installs the question; without one no
// program counts as a service.
void InstallServiceModeQuery(ServiceModeQuery query);

} // namespace shell

// Stores the default caption of the server's boxes.
void svcSetCaption(const std::string& caption);
std::string svcGetCaption();
// In service mode, or without a desktop, the text goes to the debugger output
// and the answer is 0 (or the default answer); otherwise the box's answer.
// Without a caption the stored one is used.
int svcMessageBox(const std::string& text, unsigned type, const char* caption = nullptr);
int svcMessageBox(const std::string& text, unsigned type, int defaultAnswer, const char* caption = nullptr);
// With an OK button, no answer.
void svcMessageBox(const std::string& text, const char* caption);

// Formats into 256 characters (longer output is cut) for the debugger output.
void TraceDebug(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Whether routine debug lines (the DEBUG kind of the log view, the data view's
// online-request steps on standard error) are wanted: TESSARO_DEBUG set to
// anything but "" or "0". Failures are reported whatever this says.
bool IsDebugOutputWanted();
void SetDebugOutputWanted(bool bWanted);
