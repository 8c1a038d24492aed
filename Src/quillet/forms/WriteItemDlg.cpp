#include "quillet/forms/WriteItemDlg.h"

#include "quillet/forms/DataTypes.h"
#include "quillet/text/ErrorText.h"
#include "quillet/forms/FieldExchange.h"
#include "quillet/text/StringTable.h"
#include "quillet/text/VariantText.h"

CWriteItemDlg::CWriteItemDlg(const quillet::StringTable& texts, quillet::UiServices& ui, std::vector<CItem*> list)
    : items(std::move(list)), m_texts(texts), m_ui(ui)
{
    for (CItem* item : items) {
        handles.push_back(item->GetServerHandle());
        const auto& value = item->Values(ValueRoad::Subscription).value;
        values.push_back(value ? *value : VARIANT());
    }
    if (!items.empty()) {
        current = 0;
        Show();
    }
}

void CWriteItemDlg::SetValue(std::size_t index, std::string_view text, VARTYPE vt)
{
    if (index < values.size()) values[index] = quillet::TextToVariant(text, vt);
}

VARTYPE CWriteItemDlg::SelectedType() const { return quillet::WriteTypes()[type]; }

ULONG CWriteItemDlg::Length() const
{
    if (!array) return 1;
    const auto n = quillet::WholeInteger(lengthText);
    return n && *n >= 1 && *n <= kMaxLength ? ULONG(*n) : 0;
}

void CWriteItemDlg::Report(bool ok) { message = m_texts.Text(ok ? quillet::IDS_SHAPE_OK : quillet::IDS_SHAPE_FAILED); }

void CWriteItemDlg::Show()
{
    if (current < 0) return;
    accessPath = items[current]->GetAccessPath();
    serverHandle = quillet::HexCode(handles[current]);
    const VARIANT& v = values[current];
    const SAFEARRAY* a = v.parray();
    array = v.isArray();
    const VARTYPE elementType = a ? a->elementType() : VARTYPE(v.vt() & VT_TYPEMASK);
    type = quillet::FindType(quillet::WriteTypes(), elementType).value_or(0);
    element = 0;
    lengthText = a ? std::to_string(a->count()) : "1";
    elements.clear();
    if (!array) {
        elements.push_back(quillet::ValueText(m_texts, &v));
    } else if (a) {
        for (LONG i = a->lowerBound(); i <= a->upperBound(); ++i) {
            VARIANT e;
            if (FAILED(a->getElement(i, e))) {
                elements.emplace_back(m_texts.Text(quillet::IDS_INVALID_DATA));
                break;
            }
            elements.push_back(quillet::ValueText(m_texts, &e));
        }
    }
    ShowElement();
}

void CWriteItemDlg::ShowElement()
{
    const VARIANT& v = values[current];
    if (!array) {
        valueText = elements.empty() ? std::string() : elements[0];
        return;
    }
    VARIANT e;
    const SAFEARRAY* a = v.parray();
    valueText = a && SUCCEEDED(a->getElement(a->lowerBound() + element, e)) ? quillet::ValueText(m_texts, &e)
                                                                           : "Default";
}

// The text into the value: the scalar, or the element shown when it lies in the array
// and the text reads as the array's element type.
static void StoreText(VARIANT& slot, bool array, int element, std::string_view text, VARTYPE type)
{
    VARIANT parsed = quillet::TextToVariant(text, type);
    if (!array) {
        slot = std::move(parsed);
        return;
    }
    SAFEARRAY* a = slot.parray();
    if (!a || element < 0) return;
    const LONG index = a->lowerBound() + element;
    if (index <= a->upperBound() && parsed.vt() == a->elementType()) a->putElement(index, std::move(parsed));
}

void CWriteItemDlg::Leave()
{
    if (current < 0) return;
    ApplyShape();
    StoreText(values[current], values[current].isArray(), element, valueText, SelectedType());
}

bool CWriteItemDlg::ApplyShape()
{
    VARIANT& v = values[current];
    const VARTYPE selected = SelectedType();
    const ULONG length = Length();
    SAFEARRAY* a = v.parray();
    const bool isArray = v.isArray() && a;
    const VARTYPE elementType = isArray ? a->elementType() : v.vt();
    if (elementType == selected && isArray == array && (!array || a->count() == length)) return true;
    VARIANT shaped;
    if (array) {
        if (selected == VT_EMPTY || length == 0 || !SAFEARRAY::canHold(selected)) {
            Report(false);
            return false;
        }
        if (!isArray) {
            // The scalar becomes the first element, converted where it can be.
            SAFEARRAY made(selected, length);
            VARIANT first;
            if (SUCCEEDED(com::changeType(v, selected, first))) made.putElement(0, std::move(first));
            shaped = VARIANT::Array(std::move(made));
        } else {
            HRESULT hr = S_OK;
            if (elementType == selected) shaped = v;
            else hr = com::changeType(v, selected, shaped);
            if (SUCCEEDED(hr) && shaped.parray()->count() != length) {
                hr = shaped.parray()->redim(length);
                if (FAILED(hr)) m_ui.MessageBox(quillet::ErrorText(m_texts, hr));
            }
            if (FAILED(hr)) {
                Report(false);
                return false;
            }
        }
    } else if (isArray) {
        // The array goes; its first element stays, converted, or the type's zero.
        VARIANT first;
        if (!(a->count() && SUCCEEDED(a->getElement(a->lowerBound(), first)) &&
              SUCCEEDED(com::changeType(first, selected, shaped))))
            shaped = quillet::TextToVariant({}, selected);
    } else if (FAILED(com::changeType(v, selected, shaped))) {
        // A scalar always takes the type; what cannot be converted is read from the value text.
        shaped = quillet::TextToVariant(valueText, selected);
    }
    v = std::move(shaped);
    Report(true);
    return true;
}

void CWriteItemDlg::SelectItem(int index)
{
    if (index < 0 || std::size_t(index) >= items.size()) return;
    Leave();
    current = index;
    Show();
}

void CWriteItemDlg::SelectElement(int index)
{
    if (current < 0 || !array || index < 0 || std::size_t(index) >= elements.size()) return;
    StoreText(values[current], true, element, valueText, SelectedType());
    Show();
    element = index;
    ShowElement();
}

void CWriteItemDlg::SetArray(bool on)
{
    if (current < 0) return;
    // What was typed is kept in the old shape first, so the new one starts from it.
    StoreText(values[current], values[current].isArray(), element, valueText, SelectedType());
    array = on;
    ApplyShape();
    Show();
}

void CWriteItemDlg::SetLength(const std::string& text)
{
    if (current < 0 || !array) return;
    const auto n = quillet::WholeInteger(text);
    if (!n || *n < 1 || *n > long(kMaxLength)) {
        Report(false);
        Show();
        return;
    }
    StoreText(values[current], true, element, valueText, SelectedType());
    lengthText = std::to_string(*n);
    ApplyShape();
    Show();
}

void CWriteItemDlg::ChooseType(int index)
{
    if (current < 0 || index < 0 || std::size_t(index) >= quillet::WriteTypes().size()) return;
    if (array) {
        message = m_texts.Text(quillet::IDS_ARRAY_TYPE_LOCKED);
        Show();
        return;
    }
    StoreText(values[current], false, 0, valueText, SelectedType());
    type = index;
    ApplyShape();
    Show();
}

void CWriteItemDlg::Confirm() { Leave(); }
