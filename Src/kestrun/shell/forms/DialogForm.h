#pragma once
// A dialog without its window: its controls as a table of fields (edit texts,
// check boxes, lists, buttons), the exchange between the fields and the
// dialog's values, and the checks that keep it open on OK. A desktop shows a
// form through the installed FormPresenter; without one every dialog ends as
// Cancel. A server program substitutes a dialog by deriving from its form.
//
// Application thread only.
#include <optional>
#include <string>
#include <vector>

#include "kestrun/shell/app/MessageBox.h"
#include "platform/win/WinTypes.h"

namespace shell {

class COXFolderPickerDlg;

enum class FieldKind {
    Edit,   // a text; with bDigits only digits may be typed
    Check,  // a check box; strLabel is its text
    Choice, // a drop-down list of choices
    Button, // a push button beside the field before it; strLabel is its text
};

struct FormField {
    int nId = 0;
    FieldKind kind = FieldKind::Edit;
    std::string strLabel;  // the text before an edit or list, a check box's or button's text
    std::string strUnit;   // the text after it ("milliseconds")
    std::string strGroup;  // the group box it sits in
    bool bDigits = false;
    bool bEnabled = true;
    std::vector<std::string> choices;
    std::string strText;   // Edit
    bool bChecked = false; // Check
    int nChoice = -1;      // Choice: index into choices, -1 none
};

class DialogForm {
public:
    DialogForm(UINT nTemplateId, std::string strCaption);
    virtual ~DialogForm();
    DialogForm(const DialogForm&) = delete;
    DialogForm& operator=(const DialogForm&) = delete;

    UINT GetTemplateId() const { return m_nTemplateId; }
    const std::string& GetCaption() const { return m_strCaption; }
    void SetCaption(std::string strCaption) { m_strCaption = std::move(strCaption); }
    const std::vector<FormField>& GetFields() const { return m_fields; }
    // Null for an id the dialog does not have.
    const FormField* FindField(int nId) const;

    // What the window's controls show and what the user changes.
    std::string GetText(int nId) const;
    void SetText(int nId, std::string text);
    bool GetCheck(int nId) const;
    void SetCheck(int nId, bool bChecked);
    int GetChoice(int nId) const;
    void SetChoice(int nId, int nChoice);
    // The chosen entry's text ("" with none chosen); choosing by text, none
    // when the list lacks it.
    std::string GetChoiceText(int nId) const;
    void SetChoiceText(int nId, const std::string& text);
    bool IsFieldEnabled(int nId) const;
    void EnableField(int nId, bool bEnabled);

    // Shows the dialog through the installed presenter: IDOK or IDCANCEL.
    int DoModal();

    // Before the window shows: the values go to the fields. False: the dialog
    // is not shown and ends as Cancel.
    virtual bool OnInitDialog();
    // OK: the fields go back to the values. A refused field gets its message
    // box and the dialog stays open (GetRefusedField names it); true to close.
    bool OnOK();
    int GetRefusedField() const { return m_nRefused; }
    // A button was pressed, a check box clicked, a list choice made or an edit
    // changed; the window shows the fields again afterwards.
    virtual void OnCommand(int /*nId*/) {}

protected:
    static FormField MakeField(int nId, FieldKind kind, std::string strLabel, std::string strGroup,
                               std::vector<std::string> choices = {});
    FormField& AddEdit(int nId, std::string strLabel, std::string strGroup, bool bDigits = false,
                       std::string strUnit = {});
    FormField& AddCheck(int nId, std::string strLabel, std::string strGroup);
    FormField& AddChoice(int nId, std::string strLabel, std::string strGroup, std::vector<std::string> choices);
    FormField& AddButton(int nId, std::string strLabel, std::string strGroup);
    // Places a field before the one with the given id (a subclass adding a control).
    FormField& InsertBefore(int nBeforeId, FormField field);
    // Puts a field in the place of the one with its id (a subclass showing a
    // value as another kind of control).
    FormField& Replace(FormField field);

    // Values to fields, and back; the taking step refuses through Refuse.
    virtual void ShowValues() {}
    virtual bool TakeValues() { return true; }

    // The exchange's own checks, with the framework's messages.
    static constexpr const char* kIntegerPrompt = "Please enter an integer.";
    std::optional<LONG> TakeInt(int nId);
    std::optional<DWORD> TakeUnsigned(int nId);
    std::optional<LONG> TakeIntInRange(int nId, LONG nMin, LONG nMax);
    // Names the field, shows the message; false.
    bool Refuse(int nId, const std::string& strMessage, unsigned nIcon = MB_ICONWARNING);
    // The fields read into a copy of the values, then the caller's apply
    // step (values.apply), whose message refuses them at the field; the
    // values change only when both succeed.
    template <typename Values, typename TakeFields>
    bool TakeAndApply(Values& values, int nId, TakeFields&& takeFields)
    {
        Values taken = values;
        if (!takeFields(taken))
            return false;
        if (taken.apply)
            if (const std::string refusal = taken.apply(taken); !refusal.empty())
                return Refuse(nId, refusal);
        values = std::move(taken);
        return true;
    }

private:
    FormField& Field(int nId);
    const FormField& Field(int nId) const;
    FormField& Add(FormField field);

    UINT m_nTemplateId;
    std::string m_strCaption;
    std::vector<FormField> m_fields;
    int m_nRefused = 0;
};

// What shows the forms on a desktop.
class FormPresenter {
public:
    virtual ~FormPresenter() = default;
    // Runs the dialog: OnInitDialog, then the window until OK (OnOK true) or
    // Cancel. IDOK or IDCANCEL.
    virtual int Run(DialogForm& form) = 0;
    virtual int RunFolderPicker(COXFolderPickerDlg& picker) = 0;
};

// The presenter in use (null: none, every dialog is cancelled). Returns the
// previous one; the caller keeps the new one alive.
FormPresenter* InstallFormPresenter(FormPresenter* presenter);
FormPresenter* CurrentFormPresenter();

} // namespace shell
