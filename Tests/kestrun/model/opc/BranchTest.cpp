#include "kestrun/model/opc/Branch.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "kestrun/model/MemoryTag.h"

namespace {

// Tags without points, freed by the test once every tree has let go.
struct Tags {
    CfsMemoryTag* Make()
    {
        owned.push_back(std::make_unique<CfsMemoryTag>(nullptr));
        owned.back()->AddRef();  // the test's own reference keeps it
        return owned.back().get();
    }
    std::vector<std::unique_ptr<CfsMemoryTag>> owned;
};

TEST(Branch, PathsLeaveTheRootNameOut)
{
    CfsBranch root("Root");
    CfsBranch* plc = root.FindOrAddBranch("PLC1");
    CfsBranch* block = plc->FindOrAddBranch("BLOCK1");
    EXPECT_EQ(root.GetPath(), "");
    EXPECT_EQ(plc->GetPath(), "PLC1.");
    EXPECT_EQ(block->GetPath(), "PLC1.BLOCK1.");
    EXPECT_EQ(block->GetParent(), plc);
    EXPECT_EQ(root.FindOrAddBranch("plc1"), plc);  // one branch whatever the case
    EXPECT_EQ(root.GetBranches().size(), 1u);
}

TEST(Branch, LeavesAreNamedFromTheirBranch)
{
    struct Case {
        const char* block;   // "" adds to the device branch
        const char* key;
        const char* itemId;
        const char* shortName;
    };
    const Case cases[] = {
        {"BLOCK1", "D100", "PLC1.BLOCK1.D100", "D100"},
        {"", "D100", "PLC1.D100", "D100"},
        {"", "MOTOR.SPEED", "PLC1.MOTOR.SPEED", "SPEED"},
        {"", "A.B.C", "PLC1.A.B.C", "C"},
        {"", ".HIDDEN", "PLC1..HIDDEN", ".HIDDEN"},  // a '.' at position 0 splits nothing
        {"", "D100:5", "PLC1.D100:5", "D100:5"},
    };
    for (const Case& c : cases) {
        Tags tags;
        CfsBranch root("Root");
        CfsBranch* plc = root.FindOrAddBranch("PLC1");
        CfsBranch* branch = *c.block ? plc->FindOrAddBranch(c.block) : plc;
        CfsMemoryTag* tag = tags.Make();
        branch->AddLeaf(c.key, tag);
        EXPECT_EQ(tag->GetItemId(), c.itemId) << c.key;
        EXPECT_EQ(tag->GetShortName(), c.shortName) << c.key;
        EXPECT_EQ(root.FindTag(c.itemId), tag) << c.key;
    }
}

TEST(Branch, FindTagIgnoresCaseAndAcceptsTheBracketedForm)
{
    Tags tags;
    CfsBranch root("Root");
    CfsMemoryTag* speed = tags.Make();
    CfsMemoryTag* d100 = tags.Make();
    root.FindOrAddBranch("PLC1")->AddLeaf("MOTOR.SPEED", speed);
    root.FindOrAddBranch("PLC1")->AddLeaf("D100", d100);

    struct Case { const char* id; CfsMemoryTag* tag; };
    const Case cases[] = {
        {"PLC1.MOTOR.SPEED", speed}, {"plc1.motor.speed", speed}, {"[PLC1]MOTOR.SPEED", speed},
        {"[plc1]d100", d100},        {"PLC1.D100", d100},         {"PLC1.MOTOR", nullptr},
        {"PLC2.D100", nullptr},      {"D100", nullptr},           {"", nullptr},
        {"PLC1.D100.X", nullptr},
    };
    for (const Case& c : cases)
        EXPECT_EQ(root.FindTag(c.id), c.tag) << c.id;
}

TEST(Branch, ItemIdOfANameSeenFromABranch)
{
    Tags tags;
    CfsBranch root("Root");
    CfsBranch* plc = root.FindOrAddBranch("PLC1");
    plc->AddLeaf("MOTOR.SPEED", tags.Make());
    plc->AddLeaf("D100", tags.Make());

    struct Case { const CfsBranch* from; const char* name; const char* id; };
    const Case cases[] = {
        {plc, "d100", "PLC1.d100"},           // the name as asked, behind the branch path
        {plc, "MOTOR", "PLC1.MOTOR"},         // a sub-branch
        {plc, "MOTOR.SPEED", "PLC1.MOTOR.SPEED"},
        {&root, "PLC1", "PLC1"},
        {&root, "PLC1.D100", "PLC1.D100"},
        {plc, "NOPE", ""},
        {plc, "NOPE.SPEED", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.from->GetItemID(c.name), c.id) << c.name;
}

TEST(Branch, RemovingATagDropsEveryOccurrenceAtEveryDepth)
{
    Tags tags;
    CfsBranch root("Root");
    CfsMemoryTag* tag = tags.Make();
    CfsMemoryTag* other = tags.Make();
    CfsBranch* plc = root.FindOrAddBranch("PLC1");
    plc->AddLeaf("A", tag);
    plc->AddLeaf("B.C", tag);
    plc->AddLeaf("B.D", other);
    root.AddTag(tag);

    EXPECT_EQ(root.RemoveTag(tag), 3);
    EXPECT_EQ(root.FindTag("PLC1.A"), nullptr);
    EXPECT_EQ(root.FindTag("PLC1.B.C"), nullptr);
    EXPECT_EQ(root.FindTag("PLC1.B.D"), other);
    EXPECT_EQ(root.RemoveTag(tag), 0);
}

// Of two tags of one name the first listed is found until it goes; a tag listed
// without a name is found by the name it gets later.
TEST(Branch, ATagIsFoundByItsNameWhateverWasListedBeforeOrSince)
{
    Tags tags;
    CfsBranch root("Root");
    CfsBranch* plc = root.FindOrAddBranch("PLC1");
    CfsMemoryTag* first = tags.Make();
    CfsMemoryTag* second = tags.Make();
    CfsMemoryTag* unnamed = tags.Make();
    plc->AddLeaf("speed", first);
    plc->AddLeaf("SPEED", second);
    plc->AddTag(unnamed);
    unnamed->SetNames("D7", "PLC1.D7");
    EXPECT_EQ(root.FindTag("PLC1.Speed"), first);
    EXPECT_EQ(root.FindTag("PLC1.d7"), unnamed);
    root.RemoveTag(first);
    EXPECT_EQ(root.FindTag("PLC1.Speed"), second);
}

TEST(Branch, AListedTagOutlivesItsPointUntilTheTreeLetsGo)
{
    // A tag bound to no point, held by the tree only: the tree's release frees it
    // (the sanitizer build reports a leak or a double free otherwise).
    auto* tag = new CfsMemoryTag(nullptr);
    {
        CfsBranch root("Root");
        root.FindOrAddBranch("PLC1")->AddLeaf("D100", tag);
        tag->AddRef();
        tag->Release();  // no client left, but the tree still lists it
        EXPECT_EQ(root.FindTag("PLC1.D100"), tag);
        EXPECT_EQ(tag->GetShortName(), "D100");
    }
}

TEST(Branch, ReleasingAtZeroLeavesZero)
{
    CfsMemoryTag tag(nullptr);
    tag.AddTreeRef();  // keeps the tag from freeing itself on the stack
    EXPECT_EQ(tag.Release(), 0);
    EXPECT_EQ(tag.GetUseCount(), 0);
    EXPECT_EQ(tag.AddRef(), 1);
    EXPECT_EQ(tag.Release(), 0);
    EXPECT_EQ(tag.Release(), 0);
    EXPECT_EQ(tag.GetUseCount(), 0);
}

} // namespace
