#include "platform/dde/ClientTool.h"

#include <charconv>
#include <optional>

#include "platform/dde/Client.h"
#include "platform/dde/LineCodec.h"

namespace dde {

namespace {

constexpr const char* kUsage =
    "usage: tessaro-dde [--service NAME] [--timeout MS] COMMAND\n"
    "  topics                        the server's topics, one a line\n"
    "  request TOPIC ITEM...         item, quality and value of each item\n"
    "  poke TOPIC ITEM VALUE         writes the value\n"
    "  advise [--count N] TOPIC ITEM...  item, quality and value of each change\n"
    "  execute TOPIC COMMAND         runs the command\n"
    "exit: 0 done, 1 refused by the server, 2 usage, 3 no server, 4 no answer, connection lost or output failed\n";

struct Options {
    std::string service;
    // Longer than a server's default wait for an item's first value (5 s), so
    // the server's own answer and reason arrive before this tool gives up.
    DWORD timeoutMs = 10000;
    unsigned long count = 0;   // advise: data lines to show, 0 for no end
    std::vector<std::string> words;
};

std::optional<unsigned long> Number(const std::string& text)
{
    unsigned long value = 0;
    auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || result.ec != std::errc() || result.ptr != text.data() + text.size())
        return std::nullopt;
    return value;
}

std::optional<Options> ParseArgs(const std::vector<std::string>& args)
{
    Options options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool hasValue = i + 1 < args.size();
        if (arg == "--service" && hasValue) {
            options.service = args[++i];
        } else if (arg == "--timeout" && hasValue) {
            auto n = Number(args[++i]);
            if (!n || *n == 0 || *n > 3600000)
                return std::nullopt;
            options.timeoutMs = static_cast<DWORD>(*n);
        } else if (arg == "--count" && hasValue) {
            auto n = Number(args[++i]);
            if (!n)
                return std::nullopt;
            options.count = *n;
        } else if (arg.size() > 1 && arg[0] == '-' && arg.rfind("--", 0) == 0) {
            return std::nullopt;
        } else {
            options.words.push_back(arg);
        }
    }
    return options;
}

int ExitOf(Client::Status status)
{
    switch (status) {
    case Client::Status::Ok: return kToolOk;
    case Client::Status::Nack: return kToolNack;
    case Client::Status::NoServer: return kToolNoServer;
    default: return kToolFailed;
    }
}

void PrintValue(std::ostream& out, const ClientValue& value)
{
    std::string line;
    AppendEscaped(line, value.item);
    line += '\t' + std::to_string(value.quality) + '\t';
    AppendEscaped(line, value.text);
    out << line << '\n' << std::flush;
}

int Fail(Client& client, Client::Status status, std::ostream& err)
{
    err << "tessaro-dde: " << client.LastError() << '\n';
    return ExitOf(status);
}

// A command's work on its conversation: the exit code.
using Body = int (*)(Client&, std::uint32_t, const Options&, std::ostream&, std::ostream&);

int Topics(Client& client, std::uint32_t conversation, const Options&, std::ostream& out, std::ostream& err)
{
    ClientValue value;
    const Client::Status status = client.Request(conversation, "Topics", value);
    if (status != Client::Status::Ok)
        return Fail(client, status, err);
    std::string_view rest = value.text;
    while (!rest.empty()) {
        const std::size_t tab = rest.find('\t');
        std::string line;
        AppendEscaped(line, rest.substr(0, tab));
        out << line << '\n';
        rest.remove_prefix(tab == std::string_view::npos ? rest.size() : tab + 1);
    }
    return kToolOk;
}

int Request(Client& client, std::uint32_t conversation, const Options& options, std::ostream& out, std::ostream& err)
{
    int result = kToolOk;
    for (std::size_t i = 2; i < options.words.size(); ++i) {
        ClientValue value;
        const Client::Status status = client.Request(conversation, options.words[i], value);
        if (status == Client::Status::Nack) {
            err << "tessaro-dde: " << options.words[i] << ": " << client.LastError() << '\n';
            result = kToolNack;
        } else if (status != Client::Status::Ok) {
            return Fail(client, status, err);
        } else {
            PrintValue(out, value);
        }
    }
    return result;
}

int Poke(Client& client, std::uint32_t conversation, const Options& options, std::ostream&, std::ostream& err)
{
    const Client::Status status = client.Poke(conversation, options.words[2], options.words[3]);
    return status == Client::Status::Ok ? kToolOk : Fail(client, status, err);
}

int Execute(Client& client, std::uint32_t conversation, const Options& options, std::ostream&, std::ostream& err)
{
    const Client::Status status = client.Execute(conversation, options.words[2]);
    return status == Client::Status::Ok ? kToolOk : Fail(client, status, err);
}

int Advise(Client& client, std::uint32_t conversation, const Options& options, std::ostream& out, std::ostream& err)
{
    for (std::size_t i = 2; i < options.words.size(); ++i) {
        const Client::Status status = client.Advise(conversation, options.words[i]);
        if (status != Client::Status::Ok)
            return Fail(client, status, err);
    }
    for (unsigned long shown = 0; options.count == 0 || shown < options.count; ++shown) {
        ClientValue value;
        const Client::Status status = client.NextData(value, std::nullopt);
        if (status != Client::Status::Ok)
            return Fail(client, status, err);
        PrintValue(out, value);
        if (!out)
            return kToolFailed; // nobody reads what it shows any more
    }
    return kToolOk;
}

struct Command {
    const char* name;
    std::size_t minWords;    // with the command's own
    std::size_t maxWords;    // 0: no limit
    const char* topic;       // null: the word after the command
    Body body;
};

const Command kCommands[] = {
    {"topics", 1, 1, "System", Topics}, {"request", 3, 0, nullptr, Request}, {"poke", 4, 4, nullptr, Poke},
    {"advise", 3, 0, nullptr, Advise},  {"execute", 3, 3, nullptr, Execute},
};

} // namespace

int RunClientTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                  const std::filesystem::path& folder)
{
    const std::optional<Options> options = ParseArgs(args);
    const Command* command = nullptr;
    if (options && !options->words.empty())
        for (const Command& c : kCommands)
            if (options->words[0] == c.name)
                command = &c;
    const std::size_t words = options ? options->words.size() : 0;
    if (!command || words < command->minWords || (command->maxWords && words > command->maxWords)) {
        err << kUsage;
        return kToolUsage;
    }
    Client client(options->timeoutMs);
    const Client::Status status = client.Open(options->service, folder);
    if (status != Client::Status::Ok)
        return Fail(client, status, err);
    std::uint32_t conversation = 0;
    const Client::Status connected = client.Connect(command->topic ? command->topic : options->words[1], conversation);
    if (connected != Client::Status::Ok)
        return Fail(client, connected, err);
    int result = command->body(client, conversation, *options, out, err);
    client.Disconnect(conversation);
    // Values that did not reach the reader are not a success.
    if (!out.flush()) {
        err << "tessaro-dde: the output could not be written\n";
        result = kToolFailed;
    }
    return result;
}

} // namespace dde
