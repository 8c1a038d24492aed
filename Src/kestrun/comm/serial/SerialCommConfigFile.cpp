// Settings files, the setup dialog and the availability test of a serial port.
#include "kestrun/comm/serial/SerialCommConfig.h"

#include "kestrun/comm/serial/SerialCommException.h"
#include "kestrun/comm/serial/SerialCommFile.h"
#include "kestrun/comm/serial/SerialCommSetup.h"
#include "kestrun/comm/config/Serializer.h"
#include "platform/win/DebugOutput.h"

#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

constexpr UINT IDS_CONFIG_NOT_FOUND = 23201;
constexpr UINT IDS_CONFIG_LOAD_ERROR = 23202;
constexpr UINT IDS_CONFIG_SAVE_ERROR = 23203;
constexpr UINT IDS_DEFAULT_CONFIG_FILE = 23228;

std::string FormatWithName(UINT nId, const std::string& portName)
{
    const char* format = COXSerialCommException::GetString(nId);
    const int n = std::snprintf(nullptr, 0, format, portName.c_str());
    std::string text(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
    std::snprintf(text.data(), text.size() + 1, format, portName.c_str());
    return text;
}

void Tell(const COXSerialCommConfig::Notice& notice, const std::string& text)
{
    if (notice)
        notice(text);
    else
        win::OutputDebugString(text); // never waits for a reader
}

std::string FileNameOrDefault(const std::string& fileName)
{
    return fileName.empty() ? COXSerialCommException::GetString(IDS_DEFAULT_CONFIG_FILE) : fileName;
}

} // namespace

BOOL COXSerialCommConfig::IsPortAvailable() const
{
    const std::string path = kestrun::SerialDevicePath(GetPortId());
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return FALSE;
    const bool free = ::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::isatty(fd);
    ::close(fd);
    return free;
}

int COXSerialCommConfig::DoConfigDialog(const std::string& caption)
{
    COXSerialCommSetup dlg(*this, caption);
    const int result = dlg.DoModal();
    if (result == COMM_DLG_OK)
        *this = dlg.GetConfig();
    return result;
}

BOOL COXSerialCommConfig::Load(const std::string& fileName, const Notice& notice)
{
    const std::string name = FileNameOrDefault(fileName);
    // A failed or partial load must not leave half-read settings behind: load into
    // a copy and take it only when the whole record was read.
    COXSerialCommConfig loaded(*this);
    COXSerializer serializer(notice);
    serializer.Initialize(name, &loaded);
    if (serializer.Load(FALSE)) {
        *this = loaded;
        return TRUE;
    }
    BOOL result = TRUE;
    if (serializer.m_nFileCause == CFileException::fileNotFound) {
        Tell(notice, FormatWithName(IDS_CONFIG_NOT_FOUND, GetCommName()));
    } else {
        loaded = *this;
        if (serializer.Load(TRUE)) {
            *this = loaded;
        } else {
            Tell(notice, FormatWithName(IDS_CONFIG_LOAD_ERROR, GetCommName()));
            result = FALSE;
        }
    }
    // Replace the missing or broken file by the settings in use.
    COXSerializer writer(notice);
    writer.Initialize(name, this);
    writer.Save(TRUE);
    return result;
}

BOOL COXSerialCommConfig::Save(const std::string& fileName, const Notice& notice)
{
    COXSerializer serializer(notice);
    serializer.Initialize(FileNameOrDefault(fileName), this);
    if (serializer.Save(TRUE))
        return TRUE;
    Tell(notice, FormatWithName(IDS_CONFIG_SAVE_ERROR, GetCommName()));
    return FALSE;
}
