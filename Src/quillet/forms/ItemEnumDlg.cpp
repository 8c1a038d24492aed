// The item enumeration dialog's form.
#include "quillet/forms/ItemForms.h"

#include "quillet/forms/DataTypes.h"
#include "quillet/text/ErrorText.h"
#include "quillet/doc/QuilletDoc.h"
#include "quillet/text/StringTable.h"

#include "platform/com/Bstr.h"

CItemEnumDlg::CItemEnumDlg(CQuilletDoc& doc, CGroup& group) : m_doc(doc), m_group(&group) {}

CItemEnumDlg::CItemEnumDlg(CQuilletDoc& doc, opc::ComPtr<IEnumOPCItemAttributes> enumerator)
    : m_doc(doc), m_enum(std::move(enumerator))
{
}

void CItemEnumDlg::Open()
{
    const quillet::StringTable& texts = m_doc.Texts();
    if (m_group) {
        opc::ComPtr<IUnknown> unknown;
        const HRESULT hr = m_group->m_itemMgt
                               ? m_doc.CheckCall(m_group->m_itemMgt->CreateEnumerator(IID_IEnumOPCItemAttributes,
                                                                                      unknown.put()))
                               : E_NOINTERFACE;
        if (FAILED(hr)) {
            m_doc.ShowError(hr);
            message = texts.Text(quillet::IDS_ITEM_ENUM_FAILED);
            return;
        }
        if (hr == S_FALSE || !unknown) {
            message = texts.Text(quillet::IDS_ITEM_ENUM_EMPTY);
            return;
        }
        m_enum = unknown.as<IEnumOPCItemAttributes>(IID_IEnumOPCItemAttributes);
    }
    if (!m_enum) return;
    canClone = true;
    List();
    if (itemIds.empty()) {
        message = texts.Text(quillet::IDS_ITEM_ENUM_EMPTY);
        return;
    }
    Show(0);
    message = texts.Text(quillet::IDS_ITEM_ENUM_HINT);
}

void CItemEnumDlg::List()
{
    itemIds.clear();
    batches.clear();
    HRESULT hr = m_doc.CheckCall(m_enum->Reset());
    // Batches of 2, 3, 5, 8, 13 ... records.
    ULONG previous = 1, size = 1;
    while (SUCCEEDED(hr)) {
        const ULONG next = previous + size;
        previous = size;
        size = next;
        std::vector<OPCITEMATTRIBUTES> records;
        hr = m_doc.CheckCall(m_enum->Next(size, records));
        if (FAILED(hr)) break;
        batches.push_back(records.size());
        for (const OPCITEMATTRIBUTES& r : records) itemIds.push_back(com::fromBstr(r.szItemID));
        if (hr == S_FALSE) break;
    }
    if (FAILED(hr)) m_doc.ShowError(hr);
}

void CItemEnumDlg::Show(int index)
{
    selected = index;
    std::vector<OPCITEMATTRIBUTES> one;
    HRESULT hr = m_enum ? m_doc.CheckCall(m_enum->Reset()) : E_NOINTERFACE;
    if (SUCCEEDED(hr) && index > 0) hr = m_doc.CheckCall(m_enum->Skip(ULONG(index)));
    if (SUCCEEDED(hr)) hr = m_doc.CheckCall(m_enum->Next(1, one));
    if (FAILED(hr) || one.empty()) {
        accessPath = itemId = accessRights = requestedType = canonicalType = "<Invalid>";
        clientHandle = serverHandle = quillet::HexCode(0);
        blobSize = "0";
        active = FALSE;
        return;
    }
    const OPCITEMATTRIBUTES& a = one[0];
    accessPath = com::fromBstr(a.szAccessPath);
    itemId = com::fromBstr(a.szItemID);
    active = a.bActive;
    clientHandle = quillet::HexCode(a.hClient);
    serverHandle = quillet::HexCode(a.hServer);
    blobSize = std::to_string(a.blob.size());
    accessRights = quillet::AccessRightsName(a.dwAccessRights);
    requestedType = quillet::TypeName(a.vtRequestedDataType);
    canonicalType = quillet::TypeName(a.vtCanonicalDataType);
}

void CItemEnumDlg::Clone()
{
    if (!m_enum) return;
    opc::ComPtr<IEnumOPCItemAttributes> clone;
    const HRESULT hr = m_doc.CheckCall(m_enum->Clone(clone.put()));
    if (FAILED(hr) || !clone) {
        m_doc.ShowError(FAILED(hr) ? hr : E_NOINTERFACE);
        message = std::string(m_doc.Texts().Text(quillet::IDS_CLONE_FAILED)) + " HR=" + quillet::HexCode(DWORD(hr));
        return;
    }
    CItemEnumDlg second(m_doc, std::move(clone));
    second.Open();
    m_doc.Ui().RunDialog(second);
    message = m_doc.Texts().Text(quillet::IDS_CLONE_OK);
}
