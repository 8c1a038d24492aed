#include "platform/dde/Endpoint.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/win/Folders.h"
#include "platform/win/HexDigit.h"

namespace dde {

namespace {

constexpr std::size_t kTokenBytes = 32;
constexpr std::size_t kMaxFileBytes = 1024;
constexpr std::string_view kSuffix = ".dde";

bool IsTokenText(std::string_view token)
{
    if (token.size() != kTokenBytes * 2)
        return false;
    for (char c : token)
        if (win::hexDigitValue(c) < 0)
            return false;
    return true;
}

bool OwnedByMe(const struct stat& info) { return info.st_uid == ::geteuid(); }

bool WriteAll(int fd, std::string_view text)
{
    while (!text.empty()) {
        const ssize_t n = ::write(fd, text.data(), text.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        text.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

} // namespace

bool IsValidServiceName(std::string_view service)
{
    if (service.empty() || service.size() > 64 || service.front() == '.')
        return false;
    for (char c : service) {
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.'
                           || c == '_' || c == '-';
        if (!plain)
            return false;
    }
    return true;
}

std::filesystem::path EndpointFolder() { return win::folders::runtimeFolder(); }

std::filesystem::path EndpointPath(const std::filesystem::path& folder, std::string_view service)
{
    return folder / (std::string(service) + std::string(kSuffix));
}

std::string FormatEndpoint(const Endpoint& endpoint)
{
    return "service=" + endpoint.service + "\nport=" + std::to_string(endpoint.port) + "\ntoken=" + endpoint.token
           + "\n";
}

std::optional<Endpoint> ParseEndpoint(std::string_view text)
{
    Endpoint endpoint;
    bool hasService = false, hasPort = false, hasToken = false;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos)
            continue;
        const std::string_view key = line.substr(0, equals);
        const std::string_view value = line.substr(equals + 1);
        if (key == "service") {
            endpoint.service = std::string(value);
            hasService = IsValidServiceName(value);
        } else if (key == "port") {
            unsigned port = 0;
            auto result = std::from_chars(value.data(), value.data() + value.size(), port);
            hasPort = result.ec == std::errc() && result.ptr == value.data() + value.size() && port >= 1 && port <= 65535;
            endpoint.port = static_cast<std::uint16_t>(port);
        } else if (key == "token") {
            endpoint.token = std::string(value);
            hasToken = IsTokenText(value);
        }
    }
    if (!hasService || !hasPort || !hasToken)
        return std::nullopt;
    return endpoint;
}

bool WriteEndpointFile(const std::filesystem::path& folder, const Endpoint& endpoint, std::error_code& error)
{
    error.clear();
    if (!IsValidServiceName(endpoint.service)) {
        error = std::make_error_code(std::errc::invalid_argument);
        return false;
    }
    if (!win::folders::ensurePrivateFolder(folder, &error))
        return false;
    const std::filesystem::path file = EndpointPath(folder, endpoint.service);
    const std::filesystem::path temporary = folder / ("." + endpoint.service + ".dde." + std::to_string(::getpid()));
    ::unlink(temporary.c_str());
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        error = std::error_code(errno, std::generic_category());
        return false;
    }
    const bool written = WriteAll(fd, FormatEndpoint(endpoint));
    const int savedErrno = errno;
    ::close(fd);
    if (!written || ::rename(temporary.c_str(), file.c_str()) != 0) {
        error = std::error_code(written ? errno : savedErrno, std::generic_category());
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

std::optional<Endpoint> ReadEndpointFile(const std::filesystem::path& file)
{
    struct stat folder {};
    if (::lstat(file.parent_path().c_str(), &folder) != 0 || !S_ISDIR(folder.st_mode) || !OwnedByMe(folder))
        return std::nullopt;
    const int fd = ::open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    struct stat info {};
    std::string text;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && OwnedByMe(info) && (info.st_mode & 077) == 0) {
        char buffer[kMaxFileBytes];
        ssize_t n = 0;
        do {
            n = ::read(fd, buffer, sizeof buffer);
        } while (n < 0 && errno == EINTR);
        if (n > 0)
            text.assign(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return ParseEndpoint(text);
}

void RemoveEndpointFile(const std::filesystem::path& file, std::string_view token)
{
    auto endpoint = ReadEndpointFile(file);
    if (endpoint && SameToken(endpoint->token, token))
        ::unlink(file.c_str());
}

std::vector<std::string> ListEndpointServices(const std::filesystem::path& folder)
{
    std::vector<std::string> services;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        const std::string name = entry.path().filename().string();
        if (name.size() <= kSuffix.size() || name.compare(name.size() - kSuffix.size(), kSuffix.size(), kSuffix) != 0)
            continue;
        const std::string service = name.substr(0, name.size() - kSuffix.size());
        if (IsValidServiceName(service))
            services.push_back(service);
    }
    std::sort(services.begin(), services.end());
    return services;
}

std::string NewToken()
{
    unsigned char bytes[kTokenBytes];
    std::size_t got = 0;
    while (got < sizeof bytes) {
        const ssize_t n = ::getrandom(bytes + got, sizeof bytes - got, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return {};
        got += static_cast<std::size_t>(n);
    }
    static constexpr char kHex[] = "0123456789abcdef";
    std::string token;
    token.reserve(kTokenBytes * 2);
    for (unsigned char b : bytes) {
        token += kHex[b >> 4];
        token += kHex[b & 0xF];
    }
    return token;
}

bool SameToken(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    unsigned char diff = 0;
    for (std::size_t i = 0; i < a.size(); ++i)
        diff |= static_cast<unsigned char>(a[i] ^ b[i]);
    return diff == 0;
}

} // namespace dde
