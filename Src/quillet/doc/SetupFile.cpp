#include "quillet/doc/SetupFile.h"

#include "quillet/text/CsvText.h"
#include "quillet/text/VariantText.h"

#include "platform/win/NumberText.h"

#include <algorithm>

namespace quillet {
namespace {

// Field i, or empty past the end.
std::string_view Field(const std::vector<std::string>& fields, std::size_t i)
{
    return i < fields.size() ? std::string_view(fields[i]) : std::string_view();
}

long Number(const std::vector<std::string>& fields, std::size_t i) { return long(LeadingInteger(Field(fields, i))); }

std::optional<SetupRecord> ParseRecord(const std::vector<std::string>& f)
{
    switch (Number(f, 0)) {
    case 1: {
        if (Field(f, 1).empty()) return std::nullopt;
        SetupServer s;
        s.progId = f[1];
        s.node = Field(f, 2);
        s.groupCount = std::clamp(Number(f, 3), 0L, kMaxSetupGroups);
        if (!Field(f, 4).empty()) {
            s.mmi = std::array<long, 3>{Number(f, 4), Number(f, 5), Number(f, 6)};
            if (!Field(f, 7).empty()) s.logMask = DWORD(LeadingInteger(Field(f, 7)));
            if (!Field(f, 8).empty()) s.logFile = std::string(Field(f, 8));
        }
        if (auto clsid = com::parseGuid(Field(f, 9))) s.clsid = *clsid;
        return s;
    }
    case 2: {
        const long index = Number(f, 1);
        if (index < 0 || index >= kMaxSetupGroups) return std::nullopt;
        return SetupGroup{index,
                          std::string(Field(f, 2)),
                          DWORD(Number(f, 3)),
                          LONG(Number(f, 4)),
                          FLOAT(LeadingReal(Field(f, 5))),
                          BOOL(Number(f, 6)),
                          BOOL(Number(f, 7)),
                          DWORD(Number(f, 8)),
                          BOOL(Number(f, 9)),
                          DWORD(Number(f, 10))};
    }
    case 3:
        return SetupItem{Number(f, 1), std::string(Field(f, 2)), std::string(Field(f, 3)), BOOL(Number(f, 4)),
                         VARTYPE(Number(f, 5))};
    default: return std::nullopt;
    }
}

std::string Join(std::initializer_list<std::string> fields)
{
    std::string line;
    for (const std::string& f : fields) {
        if (!line.empty()) line += ',';
        line += f;
    }
    return line + "\r\n";
}

std::string Num(long long n) { return std::to_string(n); }

} // namespace

std::vector<SetupRecord> ParseSetupFile(std::string_view text)
{
    std::vector<SetupRecord> records;
    for (std::string_view line : NonBlankLines(text))
        if (auto record = ParseRecord(SplitCsvLine(line))) records.push_back(std::move(*record));
    return records;
}

std::string SetupLine(const SetupRecord& record)
{
    if (auto* s = std::get_if<SetupServer>(&record)) {
        const auto mmi = s->mmi.value_or(std::array<long, 3>{0, 0, 10});
        return Join({"1", CsvField(s->progId), CsvField(s->node), Num(s->groupCount), Num(mmi[0]), Num(mmi[1]),
                     Num(mmi[2]), Num(s->logMask.value_or(0)), CsvField(s->logFile.value_or("")),
                     com::formatGuid(s->clsid)});
    }
    if (auto* g = std::get_if<SetupGroup>(&record)) {
        // A comma here would split the record.
        return Join({"2", Num(g->index), CsvField(g->name), Num(g->updateRate), Num(g->timeBias),
                     win::GeneralText(double(g->deadband)),
                     Num(g->timeStamps), Num(g->active), Num(g->adviseMode), Num(g->allowTimeOut), Num(g->itemCount)});
    }
    const auto& i = std::get<SetupItem>(record);
    return Join({"3", Num(i.group), CsvField(i.accessPath), CsvField(i.itemId), Num(i.active), Num(i.dataType)});
}

} // namespace quillet
