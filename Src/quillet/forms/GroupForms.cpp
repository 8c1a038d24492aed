#include "quillet/forms/GroupForms.h"

#include "quillet/text/ErrorText.h"
#include "quillet/forms/FieldExchange.h"
#include "quillet/doc/QuilletDoc.h"
#include "quillet/text/StringTable.h"
#include "quillet/text/VariantText.h"

#include "platform/com/Bstr.h"
#include "platform/win/NumberText.h"

#include <cstdio>
#include <cstdlib>

using quillet::HexCode;

namespace {

std::string Decimal(long value)
{
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%ld", value);
    return buffer;
}

// A hexadecimal field, as "%#8.8x" shows it ("0x" optional).
DWORD HexField(const std::string& text) { return DWORD(std::strtoul(text.c_str(), nullptr, 16)); }

} // namespace

// ---- add group ----

CAddGroupDlg::CAddGroupDlg()
    : timeBiasText(Decimal(settings.timeBias))
    , updateRateText(std::to_string(settings.updateRate))
    , deadbandText(quillet::RealText(settings.deadband))
{
}

bool CAddGroupDlg::IsValid() const
{
    return settings.timeBias >= 0 && settings.timeBias <= 1000 && settings.deadband >= 0 && settings.deadband <= 100;
}

void CAddGroupDlg::ChooseAdviseMode(int index)
{
    if (index >= 0 && std::size_t(index) < kAdviseModes.size()) settings.adviseMode = DWORD(index);
}

bool CAddGroupDlg::Exchange(const quillet::StringTable& texts, std::string& prompt)
{
    long long bias = 0, rate = 0;
    double deadband = 0;
    if (!quillet::ExchangeInteger(texts, timeBiasText, 0, 1000, bias, prompt) ||
        !quillet::ExchangeInteger(texts, updateRateText, 0, 0xFFFFFFFF, rate, prompt) ||
        !quillet::ExchangeReal(texts, deadbandText, 0, 100, deadband, prompt))
        return false;
    settings.timeBias = LONG(bias);
    settings.updateRate = DWORD(rate);
    settings.deadband = FLOAT(deadband);
    return true;
}

// ---- group state ----

CGroupStateDlg::CGroupStateDlg(CQuilletDoc& doc, opc::ComPtr<IOPCGroupStateMgt> state)
    : m_doc(doc), m_state(std::move(state))
{
}

bool CGroupStateDlg::ReadState()
{
    State s;
    std::u16string wideName;
    const HRESULT hr = m_state ? m_doc.CheckCall(m_state->GetState(&s.rate, &s.active, &wideName, &s.timeBias,
                                                                   &s.deadband, &s.lcid, &s.hClient, &s.hServer))
                               : E_NOINTERFACE;
    if (FAILED(hr)) {
        m_doc.ShowError(hr);
        message = m_doc.Texts().Text(quillet::IDS_GROUP_STATE_FAILED);
        editEnabled = false;
        return false;
    }
    s.name = com::fromBstr(wideName);
    m_read = s;
    name = s.name;
    updateRate = Decimal(long(LONG(s.rate)));
    timeBias = Decimal(s.timeBias);
    deadband = win::FixedText(double(s.deadband));
    lcid = HexCode(s.lcid);
    clientHandle = HexCode(s.hClient);
    serverHandle = HexCode(s.hServer);
    active = s.active;
    editEnabled = true;
    message = m_doc.Texts().Text(quillet::IDS_GROUP_STATE_HINT);
    // The client handle names one of our groups only through our table; a group of
    // another client (or none) is left alone.
    if (CGroup* group = m_doc.Handles().Find<CGroup>(s.hClient)) {
        group->SetName(s.name);
        group->SetTimeBias(s.timeBias);
        group->SetDeadband(s.deadband);
        group->SetLocaleID(s.lcid);
        group->m_hServer = s.hServer;
        group->SetActive(s.active);
        group->m_dwRevisedRate = s.rate;
        group->m_bChanged = TRUE;
    }
    return true;
}

void CGroupStateDlg::Open() { ReadState(); }

void CGroupStateDlg::Edit()
{
    if (!editEnabled) return;
    editing = true;
    editEnabled = false;
    message = m_doc.Texts().Text(quillet::IDS_GROUP_STATE_EDIT);
    Changed();
}

void CGroupStateDlg::Changed()
{
    using quillet::LeadingInteger;
    applyEnabled = editing && (FLOAT(quillet::LeadingReal(deadband)) != m_read.deadband || active != m_read.active ||
                               DWORD(LeadingInteger(updateRate)) != m_read.rate || HexField(lcid) != m_read.lcid ||
                               LONG(LeadingInteger(timeBias)) != m_read.timeBias || name != m_read.name);
}

void CGroupStateDlg::Apply()
{
    Changed();
    if (!applyEnabled) return;
    CGroup* group = m_doc.Handles().Find<CGroup>(m_read.hClient);
    // Only a call the server took changes what the document holds.
    bool changed = false;
    if (name != m_read.name) {
        const HRESULT hr = m_doc.CheckCall(m_state->SetName(com::toBstr(name)));
        if (FAILED(hr)) m_doc.ShowError(hr);
        else changed = true;
    }
    const DWORD rate = DWORD(quillet::LeadingInteger(updateRate));
    const BOOL isActive = active;
    const LONG bias = LONG(quillet::LeadingInteger(timeBias));
    const FLOAT band = FLOAT(quillet::LeadingReal(deadband));
    const LCID locale = HexField(lcid);
    const bool rateChanged = rate != m_read.rate;
    if (rateChanged || isActive != m_read.active || bias != m_read.timeBias || band != m_read.deadband ||
        locale != m_read.lcid) {
        DWORD revised = 0;
        const HRESULT hr = m_doc.CheckCall(m_state->SetState(
            rateChanged ? &rate : nullptr, &revised, isActive != m_read.active ? &isActive : nullptr,
            bias != m_read.timeBias ? &bias : nullptr, band != m_read.deadband ? &band : nullptr,
            locale != m_read.lcid ? &locale : nullptr, nullptr));
        if (FAILED(hr)) {
            m_doc.ShowError(hr);
        } else {
            changed = true;
            if (rateChanged && group) group->m_dwRequestedRate = rate;
        }
    }
    if (group && changed) m_doc.SetModifiedFlag();
    editing = false;
    applyEnabled = false;
    ReadState();
}

void CGroupStateDlg::Confirm()
{
    Changed();
    if (applyEnabled) Apply();
}

// ---- group by name ----

CGroupByNameDlg::CGroupByNameDlg(CQuilletDoc& doc) : m_doc(doc) { Fill(); }

void CGroupByNameDlg::Fill()
{
    names.clear();
    for (auto& group : m_doc.Groups()) names.push_back(group->GetName());
    if (selected < 0 || std::size_t(selected) >= names.size()) selected = names.empty() ? -1 : 0;
}

void CGroupByNameDlg::Select(int index)
{
    selected = index;
    returned.clear();
}

void CGroupByNameDlg::Test()
{
    if (selected < 0 || std::size_t(selected) >= names.size() || !m_doc.GetServer()) return;
    opc::ComPtr<IUnknown> unknown;
    const HRESULT hr = m_doc.CheckCall(
        m_doc.GetServer()->GetGroupByName(com::toBstr(names[selected]), IID_IOPCGroupStateMgt, unknown.put()));
    auto state = SUCCEEDED(hr) ? unknown.as<IOPCGroupStateMgt>(IID_IOPCGroupStateMgt) : nullptr;
    if (!state) {
        returned = m_doc.Texts().Text(quillet::IDS_BY_NAME_FAILED);
        return;
    }
    CGroupStateDlg form(m_doc, std::move(state));
    form.Open();
    m_doc.Ui().RunDialog(form);
    returned = m_doc.Texts().Text(quillet::IDS_BY_NAME_OK);
    Fill();
}

// ---- group enumeration ----

CGroupEnumDlg::CGroupEnumDlg(CQuilletDoc& doc) : message(doc.Texts().Text(quillet::IDS_ENUM_START)), m_doc(doc)
{
    for (UINT id = quillet::IDS_ENUM_SCOPE_FIRST; id < quillet::IDS_ENUM_SCOPE_FIRST + 6; ++id)
        scopes.emplace_back(doc.Texts().Text(id));
}

void CGroupEnumDlg::BuildList()
{
    const quillet::StringTable& texts = m_doc.Texts();
    if (HasEnumerator()) {
        message = texts.Text(quillet::IDS_ENUM_EXISTS);
        return;
    }
    if (!m_doc.GetServer()) return;
    const bool byObject = kind == 0;
    opc::ComPtr<IUnknown> unknown;
    const HRESULT hr = m_doc.CheckCall(m_doc.GetServer()->CreateGroupEnumerator(
        OPCENUMSCOPE(scope + 1), byObject ? IID_IEnumUnknown : IID_IEnumString, unknown.put()));
    // The outcome stays in the message: the clear step after it has nothing to report.
    if (FAILED(hr) || !unknown) {
        message = std::string(texts.Text(quillet::IDS_ENUM_FAILED)) + " " + quillet::ErrorText(texts, hr);
        lines.clear();
        return;
    }
    if (hr == S_FALSE) {
        message = texts.Text(quillet::IDS_ENUM_NO_GROUPS);
        lines.clear();
        return;
    }
    if (byObject) m_unknowns = unknown.as<IEnumUnknown>(IID_IEnumUnknown);
    else m_strings = unknown.as<IEnumString>(IID_IEnumString);
    message = texts.Text(quillet::IDS_ENUM_OK);
    Fill();
}

// Every element of the enumerator, in batches until a batch brings none; a failed
// call's text in a box.
template <typename E, typename T>
static void FetchAll(CQuilletDoc& doc, E& enumerator, std::vector<T>& out)
{
    constexpr ULONG kBatch = 16;
    out.clear();
    HRESULT hr = doc.CheckCall(enumerator->Reset());
    std::vector<T> batch;
    while (SUCCEEDED(hr)) {
        hr = doc.CheckCall(enumerator->Next(kBatch, batch));
        if (FAILED(hr) || batch.empty()) break;
        for (T& element : batch) out.push_back(std::move(element));
    }
    if (FAILED(hr)) doc.ShowError(hr);
}

void CGroupEnumDlg::Fill()
{
    lines.clear();
    if (m_strings) {
        std::vector<std::u16string> names;
        FetchAll(m_doc, m_strings, names);
        for (auto& n : names) lines.push_back(com::fromBstr(n));
    } else if (m_unknowns) {
        std::vector<opc::ComPtr<IUnknown>> groups;
        FetchAll(m_doc, m_unknowns, groups);
        // A group object's line is its server handle, when it tells it.
        for (auto& g : groups) {
            OPCHANDLE hServer = 0;
            if (auto state = g.as<IOPCGroupStateMgt>(IID_IOPCGroupStateMgt))
                state->GetState(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &hServer);
            lines.push_back(HexCode(hServer));
        }
    }
}

void CGroupEnumDlg::ClearList()
{
    lines.clear();
    if (!HasEnumerator()) return;
    m_unknowns.reset();
    m_strings.reset();
    message = m_doc.Texts().Text(quillet::IDS_ENUM_RELEASED);
}

void CGroupEnumDlg::OpenLine(int index)
{
    if (index < 0 || !HasEnumerator()) return;
    opc::ComPtr<IOPCGroupStateMgt> state;
    HRESULT hr = S_OK;
    if (m_strings) {
        std::vector<std::u16string> one;
        hr = m_doc.CheckCall(m_strings->Reset());
        if (SUCCEEDED(hr)) hr = m_doc.CheckCall(m_strings->Skip(ULONG(index)));
        if (SUCCEEDED(hr)) hr = m_doc.CheckCall(m_strings->Next(1, one));
        if (SUCCEEDED(hr) && one.empty()) hr = E_FAIL;
        opc::ComPtr<IUnknown> unknown;
        if (SUCCEEDED(hr) && m_doc.GetServer())
            hr = m_doc.CheckCall(m_doc.GetServer()->GetGroupByName(one[0], IID_IOPCGroupStateMgt, unknown.put()));
        if (SUCCEEDED(hr)) state = unknown.as<IOPCGroupStateMgt>(IID_IOPCGroupStateMgt);
    } else {
        std::vector<opc::ComPtr<IUnknown>> one;
        hr = m_doc.CheckCall(m_unknowns->Reset());
        if (SUCCEEDED(hr)) hr = m_doc.CheckCall(m_unknowns->Skip(ULONG(index)));
        if (SUCCEEDED(hr)) hr = m_doc.CheckCall(m_unknowns->Next(1, one));
        if (SUCCEEDED(hr) && !one.empty()) state = one[0].as<IOPCGroupStateMgt>(IID_IOPCGroupStateMgt);
    }
    if (!state) {
        m_doc.ShowError(FAILED(hr) ? hr : E_NOINTERFACE);
        return;
    }
    CGroupStateDlg form(m_doc, std::move(state));
    form.Open();
    m_doc.Ui().RunDialog(form);
    Fill();
}

// ---- error strings ----

CErrorStringDlg::CErrorStringDlg(CQuilletDoc& doc)
{
    for (HRESULT code : kCodes) {
        std::u16string text;
        HRESULT hr = doc.GetServer() ? doc.CheckCall(doc.GetServer()->GetErrorString(code, 0, text)) : E_NOINTERFACE;
        std::string shown = SUCCEEDED(hr) ? com::fromBstr(text) : std::string(com::systemErrorText(hr).substr(0, 260));
        rows.push_back({HexCode(DWORD(code)), std::move(shown)});
    }
}
