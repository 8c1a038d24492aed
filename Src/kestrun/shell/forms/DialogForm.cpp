#include "kestrun/shell/forms/DialogForm.h"

#include <algorithm>
#include <atomic>
#include <stdexcept>
#include <utility>

#include "kestrun/comm/config/DialogNumber.h"
#include "kestrun/shell/app/MessageBox.h"

namespace shell {

namespace {
std::atomic<FormPresenter*> g_presenter{nullptr};
} // namespace

FormPresenter* InstallFormPresenter(FormPresenter* presenter) { return g_presenter.exchange(presenter); }

FormPresenter* CurrentFormPresenter() { return g_presenter.load(); }

DialogForm::DialogForm(UINT nTemplateId, std::string strCaption)
    : m_nTemplateId(nTemplateId), m_strCaption(std::move(strCaption))
{
}

DialogForm::~DialogForm() = default;

const FormField* DialogForm::FindField(int nId) const
{
    auto it = std::find_if(m_fields.begin(), m_fields.end(), [nId](const FormField& f) { return f.nId == nId; });
    return it == m_fields.end() ? nullptr : &*it;
}

const FormField& DialogForm::Field(int nId) const
{
    if (const FormField* pField = FindField(nId))
        return *pField;
    throw std::out_of_range("dialog " + std::to_string(m_nTemplateId) + " has no control " + std::to_string(nId));
}

FormField& DialogForm::Field(int nId) { return const_cast<FormField&>(std::as_const(*this).Field(nId)); }

std::string DialogForm::GetText(int nId) const { return Field(nId).strText; }
void DialogForm::SetText(int nId, std::string text) { Field(nId).strText = std::move(text); }
bool DialogForm::GetCheck(int nId) const { return Field(nId).bChecked; }
void DialogForm::SetCheck(int nId, bool bChecked) { Field(nId).bChecked = bChecked; }
int DialogForm::GetChoice(int nId) const { return Field(nId).nChoice; }
bool DialogForm::IsFieldEnabled(int nId) const { return Field(nId).bEnabled; }
void DialogForm::EnableField(int nId, bool bEnabled) { Field(nId).bEnabled = bEnabled; }

void DialogForm::SetChoice(int nId, int nChoice)
{
    FormField& field = Field(nId);
    field.nChoice = nChoice >= 0 && nChoice < static_cast<int>(field.choices.size()) ? nChoice : -1;
}

std::string DialogForm::GetChoiceText(int nId) const
{
    const FormField& field = Field(nId);
    return field.nChoice >= 0 ? field.choices[static_cast<std::size_t>(field.nChoice)] : std::string();
}

void DialogForm::SetChoiceText(int nId, const std::string& text)
{
    FormField& field = Field(nId);
    auto it = std::find(field.choices.begin(), field.choices.end(), text);
    field.nChoice = it == field.choices.end() ? -1 : static_cast<int>(it - field.choices.begin());
}

int DialogForm::DoModal()
{
    FormPresenter* presenter = CurrentFormPresenter();
    return presenter && presenter->Run(*this) == IDOK ? IDOK : IDCANCEL;
}

bool DialogForm::OnInitDialog()
{
    ShowValues();
    return true;
}

bool DialogForm::OnOK()
{
    m_nRefused = 0;
    return TakeValues();
}

FormField& DialogForm::Add(FormField field)
{
    m_fields.push_back(std::move(field));
    return m_fields.back();
}

FormField DialogForm::MakeField(int nId, FieldKind kind, std::string strLabel, std::string strGroup,
                               std::vector<std::string> choices)
{
    FormField f;
    f.nId = nId;
    f.kind = kind;
    f.strLabel = std::move(strLabel);
    f.strGroup = std::move(strGroup);
    f.choices = std::move(choices);
    return f;
}

FormField& DialogForm::AddEdit(int nId, std::string strLabel, std::string strGroup, bool bDigits, std::string strUnit)
{
    FormField& f = Add(MakeField(nId, FieldKind::Edit, std::move(strLabel), std::move(strGroup)));
    f.bDigits = bDigits;
    f.strUnit = std::move(strUnit);
    return f;
}

FormField& DialogForm::AddCheck(int nId, std::string strLabel, std::string strGroup)
{
    return Add(MakeField(nId, FieldKind::Check, std::move(strLabel), std::move(strGroup)));
}

FormField& DialogForm::AddChoice(int nId, std::string strLabel, std::string strGroup, std::vector<std::string> choices)
{
    return Add(MakeField(nId, FieldKind::Choice, std::move(strLabel), std::move(strGroup), std::move(choices)));
}

FormField& DialogForm::AddButton(int nId, std::string strLabel, std::string strGroup)
{
    return Add(MakeField(nId, FieldKind::Button, std::move(strLabel), std::move(strGroup)));
}

FormField& DialogForm::InsertBefore(int nBeforeId, FormField field)
{
    auto it = std::find_if(m_fields.begin(), m_fields.end(), [nBeforeId](const FormField& f) { return f.nId == nBeforeId; });
    return *m_fields.insert(it, std::move(field));
}

FormField& DialogForm::Replace(FormField field)
{
    FormField& place = Field(field.nId);
    place = std::move(field);
    return place;
}

bool DialogForm::Refuse(int nId, const std::string& strMessage, unsigned nIcon)
{
    m_nRefused = nId;
    svcMessageBox(strMessage, MB_OK | nIcon, IDOK);
    return false;
}

std::optional<LONG> DialogForm::TakeInt(int nId)
{
    std::optional<std::int32_t> value = ParseDialogInt(GetText(nId));
    if (!value)
        Refuse(nId, kIntegerPrompt);
    return value;
}

std::optional<DWORD> DialogForm::TakeUnsigned(int nId)
{
    std::optional<std::uint32_t> value = ParseDialogUnsigned(GetText(nId));
    if (!value)
        Refuse(nId, "Please enter a positive integer.");
    return value;
}

std::optional<LONG> DialogForm::TakeIntInRange(int nId, LONG nMin, LONG nMax)
{
    std::optional<LONG> value = TakeInt(nId);
    if (value && (*value < nMin || *value > nMax)) {
        Refuse(nId, "Please enter an integer between " + std::to_string(nMin) + " and " + std::to_string(nMax) + ".");
        return std::nullopt;
    }
    return value;
}

} // namespace shell
