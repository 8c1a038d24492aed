#pragma once
// The write dialog's form: one value per item, starting as the item's latest
// subscription value, shaped as a scalar or a one-dimensional array of a chosen type
// and edited element by element. A value changes its type only by a conversion of its
// contents, never by a new label on old bytes; a scalar that cannot be converted takes
// the type with the value text read as it.
#include "quillet/doc/Item.h"
#include "quillet/text/ResourceIds.h"
#include "quillet/text/UiServices.h"

#include <string>
#include <vector>

namespace quillet { class StringTable; }

class CWriteItemDlg final : public quillet::DialogForm {
public:
    // Arrays longer than this are refused.
    static constexpr ULONG kMaxLength = 65535;

    CWriteItemDlg(const quillet::StringTable& texts, quillet::UiServices& ui, std::vector<CItem*> items);
    UINT DialogId() const override { return quillet::dlg::IDD_WRITE_ITEM; }

    // The value of item index as the typed text read as type vt.
    void SetValue(std::size_t index, std::string_view text, VARTYPE vt);

    // ---- the dialog's steps ----
    // Leaves the item shown (its shape applied and its value stored), shows another.
    void SelectItem(int index);
    // Keeps the edited value in the element shown, then shows another.
    void SelectElement(int index);
    // The array box: the shape changes at once; the box reverts when it cannot.
    void SetArray(bool on);
    // The length field left: the shape changes when the length did.
    void SetLength(const std::string& text);
    // A type chosen. While the array box is set the type stays.
    void ChooseType(int index);
    // OK: the item shown is left as for another item.
    void Confirm();

    // ---- the fields of the item shown ----
    int current = -1;
    std::string accessPath;
    std::string serverHandle;
    std::string valueText;
    std::vector<std::string> elements;
    int element = 0;
    int type = 0;  // index of WriteTypes()
    bool array = false;
    std::string lengthText = "1";
    bool LengthEnabled() const { return array; }
    std::string message;

    // What the caller writes: one server handle and one value per item.
    std::vector<CItem*> items;
    std::vector<OPCHANDLE> handles;
    std::vector<VARIANT> values;

private:
    void Show();
    void ShowElement();
    void Leave();
    // Brings the value shown into the type, array flag and length of the fields.
    bool ApplyShape();
    VARTYPE SelectedType() const;
    ULONG Length() const;
    void Report(bool ok);

    const quillet::StringTable& m_texts;
    quillet::UiServices& m_ui;
};
