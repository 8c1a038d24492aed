// The item dialogs' forms: adding (with validation and item properties) and writing
// against the bundled server, the write dialog's shapes and the data type dialog.
#include "quillet/RealServerFixture.h"

#include "quillet/forms/DataTypes.h"
#include "quillet/text/ErrorText.h"
#include "quillet/forms/ItemForms.h"
#include "quillet/text/ResourceIds.h"
#include "quillet/text/VariantText.h"
#include "quillet/forms/WriteItemDlg.h"

#include "platform/com/Bstr.h"

namespace {

using namespace quillet::cmd;
using quillet::dlg::IDD_ADD_ITEM;
using quillettest::ServerWindow;

int WriteType(VARTYPE vt) { return *quillet::FindType(quillet::WriteTypes(), vt); }

class ItemDialogs : public ServerWindow {
protected:
    void SetUp() override
    {
        ServerWindow::SetUp();
        if (!doc) return;
        group = &AddGroup(*doc, ADVISE_CONNECTIONPOINT);
        ASSERT_EQ(frame->Groups().Selection(), 0);
    }
    std::string ServerText(HRESULT code)
    {
        std::u16string text;
        EXPECT_EQ(doc->GetServer()->GetErrorString(code, 0, text), S_OK);
        return com::fromBstr(text);
    }
    CGroup* group = nullptr;
};

TEST_F(ItemDialogs, AddItemValidatesNamesUnknownItemsWithTheServersTextAndAddsTheNamedEntries)
{
    std::vector<std::array<std::string, 5>> results;
    ui.OnDialog<CValidationResultsDlg>(quillet::dlg::IDD_VALIDATION_RESULTS, [&](CValidationResultsDlg& f) {
        results = f.rows;
        return true;
    });
    std::vector<std::array<std::string, 3>> properties;
    ui.OnDialog<CItemPropertiesDlg>(quillet::dlg::IDD_ITEM_PROPERTIES, [&](CItemPropertiesDlg& f) {
        properties = f.rows;
        return true;
    });
    ui.OnDialog<CAddItemDlg>(IDD_ADD_ITEM, [&](CAddItemDlg& f) {
        f.Open();
        EXPECT_FALSE(f.CanValidate());
        f.SetItemName("PLC1.D100");
        EXPECT_TRUE(f.CanShowProperties());
        f.ShowProperties();
        f.AddEntry();
        f.AddEntry();  // left empty: dropped on Validate
        f.SetItemName("NO.SUCH");
        f.ChooseType(*quillet::FindType(quillet::AddItemTypes(), VT_BSTR));
        f.Validate();
        // The list and the entries stay in step, the entry shown still shown.
        EXPECT_EQ(f.Entries().size(), 2u);
        EXPECT_EQ(f.Current(), 1);
        EXPECT_EQ(f.itemName, "NO.SUCH");
        f.SetItemName("PLC1.TEXT");
        f.Confirm();
        return true;
    });
    ASSERT_TRUE(frame->Commands().Run(ID_ADD_ITEM));
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(results[0][0], "PLC1.D100");
    EXPECT_EQ((std::array<std::string, 3>{results[0][2], results[0][3], results[0][4]}),
              (std::array<std::string, 3>{"2 Byte Integer", "Read / Write", "0"}));
    EXPECT_EQ(results[1][1], "Error");
    EXPECT_EQ(results[1][2], ServerText(OPC_E_UNKNOWNITEMID));
    auto rights = std::find_if(properties.begin(), properties.end(), [](auto& r) { return r[0] == "Item Access Rights"; });
    ASSERT_NE(rights, properties.end());
    EXPECT_EQ((*rights)[1], "3");
    // The template keeps what was entered last for the next dialog.
    EXPECT_EQ(frame->Items().AddItemTemplate().GetRequestedType(), VT_BSTR);

    ASSERT_EQ(group->Items().size(), 3u);  // the rate item and the two named entries
    EXPECT_EQ(Item(*group, "PLC1.D100").GetAccessRights(), 3u);
    EXPECT_EQ(Item(*group, "PLC1.TEXT").GetRequestedType(), VT_BSTR);
    EXPECT_TRUE(doc->IsModified());
    EXPECT_TRUE(ui.shown.empty());
}

TEST_F(ItemDialogs, ItemPropertiesOfAnUnknownItemCloseTheDialogWithTheReason)
{
    auto properties = opc::ComPtr<IOPCServer>(doc->GetServer()).as<IOPCItemProperties>(IID_IOPCItemProperties);
    CItemPropertiesDlg form(*doc, "NO.SUCH", properties);
    EXPECT_FALSE(form.Open());
    EXPECT_EQ(ui.shown, std::vector<std::string>{"No available Item Properties for this Item."});
}

TEST_F(ItemDialogs, WriteSendsEveryOfferedTypeConvertedAndAScalarTakesATypeItCannotConvertTo)
{
    AddItems(*doc, *group, {"PLC1.D100", "PLC1.TEXT"});
    ASSERT_TRUE(Pump([&] { return AllHave(*group, ValueRoad::Subscription); }));
    std::vector<CItem*> items{&Item(*group, "PLC1.D100"), &Item(*group, "PLC1.TEXT")};

    CWriteItemDlg form(texts, ui, items);
    EXPECT_EQ(form.type, WriteType(VT_I2));
    form.ChooseType(WriteType(VT_R8));  // a number converts
    EXPECT_EQ(form.values[0], VARIANT::R8(10));
    EXPECT_EQ(form.message, "Variant information okay.");
    form.SelectItem(1);
    EXPECT_EQ(form.valueText, "hello");
    form.ChooseType(WriteType(VT_I4));  // a word does not convert, yet the type changes
    EXPECT_EQ(form.message, "Variant information okay.");
    EXPECT_EQ(form.type, WriteType(VT_I4));
    EXPECT_EQ(form.values[1], VARIANT::I4(0));
    EXPECT_EQ(form.valueText, "0");
    form.valueText = "42";  // the value field gives the value when the item is left
    form.Confirm();
    EXPECT_EQ(form.values[1], VARIANT::I4(42));
    form.ChooseType(WriteType(VT_BSTR));
    EXPECT_EQ(form.values[1], VARIANT::String("42"));

    // Every type the dialog offers reaches the text item, converted by the server.
    const std::pair<VARTYPE, const char*> cases[] = {
        {VT_I1, "-5"},       {VT_UI1, "200"},  {VT_UI2, "65535"}, {VT_UI4, "4294967295"},
        {VT_I8, "-9000000000"}, {VT_I2, "-77"}, {VT_I4, "123456"}, {VT_R4, "2.5"},
        {VT_R8, "0.125"},    {VT_BOOL, "1"},  {VT_BSTR, "bye"},
    };
    for (auto [vt, text] : cases) {
        CWriteItemDlg write(texts, ui, {items[1]});
        write.valueText = text;
        write.ChooseType(WriteType(vt));
        write.valueText = text;
        write.Confirm();
        EXPECT_EQ(write.values[0].vt(), vt) << text;
        frame->Items().SyncWrite(write.handles, *group, write.values);
        frame->Items().SyncRead({items[1]}, *group, OPC_DS_DEVICE);
        VARIANT expected;
        ASSERT_EQ(com::changeType(write.values[0], VT_BSTR, expected), S_OK) << text;
        EXPECT_EQ(*items[1]->Values(ValueRoad::SyncRead).value, expected) << text;
    }
    EXPECT_EQ(com::fromBstr(items[1]->Values(ValueRoad::SyncRead).value->bstrVal()), "bye");
    EXPECT_TRUE(ui.shown.empty());
}

TEST(WriteValueText, EachTypeReadsTheTextByItsOwnRule)
{
    const std::tuple<const char*, VARTYPE, VARIANT> cases[] = {
        {"4294967295", VT_UI4, VARIANT::UI4(4294967295u)}, {"70000", VT_I2, VARIANT::I2(4464)},
        {"  -12abc", VT_I4, VARIANT::I4(-12)},            {"x", VT_UI1, VARIANT::UI1(0)},
        {"on", VT_BOOL, VARIANT::Bool(true)},             {"ON", VT_BOOL, VARIANT::Bool(true)},
        {"yes", VT_BOOL, VARIANT::Bool(false)},           {"1.5e2", VT_R4, VARIANT::R4(150)},
        {"12", VT_DATE, VARIANT()},
    };
    for (const auto& [text, vt, expected] : cases) EXPECT_EQ(quillet::TextToVariant(text, vt), expected) << text;
}

class WriteShapes : public quillettest::DocFixture {
protected:
    CItem& ArrayItem(ULONG count)
    {
        CItem& item = *new CItem(doc);
        owned.emplace_back(&item);
        item.SetItemID("A");
        SAFEARRAY array(VT_I4, count);
        for (ULONG i = 0; i < count; ++i) array.putElement(LONG(i), VARIANT::I4(LONG(i + 1)));
        item.TakeValue(VARIANT::Array(std::move(array)), std::nullopt, OPC_QUALITY_GOOD, ValueRoad::Subscription);
        return item;
    }
    std::vector<std::unique_ptr<CItem>> owned;
};

TEST_F(WriteShapes, ArraysOpenWithTheirElementsAndChangeLengthOnlyWithinBounds)
{
    CWriteItemDlg form(texts, ui, {&ArrayItem(5)});
    EXPECT_TRUE(form.array);
    EXPECT_EQ(form.lengthText, "5");
    EXPECT_EQ(form.elements, (std::vector<std::string>{"1", "2", "3", "4", "5"}));
    form.SelectElement(1);
    form.valueText = "20";
    form.SelectElement(4);
    EXPECT_EQ(form.elements[1], "20");
    form.SetLength("3");
    EXPECT_EQ(form.elements, (std::vector<std::string>{"1", "20", "3"}));
    for (const char* bad : {"0", "70000", "-1", "x"}) {
        form.SetLength(bad);
        EXPECT_EQ(form.lengthText, "3") << bad;
        EXPECT_EQ(form.message, "Could not change variant information to the parameters you have set.");
    }
    form.ChooseType(WriteType(VT_R8));  // an array keeps its type
    EXPECT_EQ(form.type, WriteType(VT_I4));
    EXPECT_EQ(form.message.substr(0, 37), "Can't change the datatype of an array");
    form.SetArray(false);  // the first element stays, as a scalar of the type
    EXPECT_EQ(form.values[0], VARIANT::I4(1));
    form.ChooseType(WriteType(VT_EMPTY));
    form.SetArray(true);  // no array of nothing: the box reverts
    EXPECT_FALSE(form.array);
    EXPECT_EQ(form.message, "Could not change variant information to the parameters you have set.");
}

TEST(DataTypeDialog, EachRowKeepsItsOwnTypeAndATypeOutsideTheListIsKept)
{
    win::FakeClock clock;
    quillet::StringTable texts;
    quillettest::FakeUi ui;
    win::ManualDispatcher dispatcher{clock};
    CQuilletDoc doc({clock, ui, texts, dispatcher});
    std::vector<std::unique_ptr<CItem>> items;
    for (auto [id, vt] : {std::pair<const char*, VARTYPE>{"b", VT_I2}, {"a", VT_DATE}, {"c", VARTYPE(VT_R8 | VT_ARRAY)}}) {
        items.push_back(std::make_unique<CItem>(doc));
        items.back()->SetItemID(id);
        items.back()->SetRequestedType(vt);
    }
    CDataTypeDlg form({items[0].get(), items[1].get(), items[2].get()});
    EXPECT_EQ(form.RowTexts(), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(form.type, -1);  // VT_DATE: shown as none, never turned into the first entry
    form.array = true;
    form.SelectRow(1);
    EXPECT_EQ(form.itemId, "b");
    form.type = *quillet::FindType(quillet::SortedTypes(), VT_BOOL);
    form.SelectRow(2);
    EXPECT_TRUE(form.array);
    form.array = false;
    form.Confirm();
    EXPECT_EQ(form.types, (std::vector<VARTYPE>{VT_BOOL, VT_DATE | VT_ARRAY, VT_R8}));

    // Names sort without regard to case; names that differ only in case keep their order.
    std::vector<CItem*> mixed;
    for (const char* id : {"plc1.D2", "Plc1.d1", "PLC1.D1", "alpha"}) {
        items.push_back(std::make_unique<CItem>(doc));
        items.back()->SetItemID(id);
        mixed.push_back(items.back().get());
    }
    EXPECT_EQ(CDataTypeDlg(mixed).RowTexts(), (std::vector<std::string>{"alpha", "Plc1.d1", "PLC1.D1", "plc1.D2"}));
}

TEST_F(ItemDialogs, ItemEnumerationFetchesInGrowingBatchesAndClonesItsEnumerator)
{
    std::vector<std::string> ids;
    for (int i = 0; i < 20; ++i) ids.push_back(i % 2 ? "PLC1.D101" : "PLC1.D100");
    auto handles = AddItems(*doc, *group, ids);
    int clones = 0;
    ui.OnDialog<CItemEnumDlg>(quillet::dlg::IDD_ITEM_ENUM, [&](CItemEnumDlg& f) {
        if (++clones > 1) {
            EXPECT_EQ(f.itemIds.size(), 20u);  // the clone lists the same items
            return true;
        }
        EXPECT_EQ(f.batches, (std::vector<std::size_t>{2, 3, 5, 8, 2}));
        EXPECT_EQ(f.message.substr(0, 31), "This is the item enumerator.  T");
        f.Show(1);
        EXPECT_EQ(f.itemId, "PLC1.D101");
        EXPECT_EQ(f.serverHandle, quillet::HexCode(handles[1]));
        EXPECT_EQ(f.canonicalType, "2 Byte Integer");
        EXPECT_EQ(f.accessRights, "Read / Write");
        f.Clone();
        EXPECT_EQ(f.message, "Clone EnumItemAttributes succeeded.");
        f.Show(25);
        EXPECT_EQ(f.itemId, "<Invalid>");
        return true;
    });
    ASSERT_TRUE(frame->Commands().Run(ID_ENUMERATE_ITEMS));
    EXPECT_EQ(clones, 2);
}

} // namespace
