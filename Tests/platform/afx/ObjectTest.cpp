#include "TestObjects.h"

#include "platform/afx/MemFile.h"
#include "platform/afx/Object.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

// Read during static initialisation of this file, before main: the class records
// are usable from any static initialiser, whichever file's run first.
const bool s_recordsReadyAtStartup = RUNTIME_CLASS(CMemFile)->m_pBaseClass == RUNTIME_CLASS(CFile)
    && RUNTIME_CLASS(CTestBitPoint)->IsDerivedFrom(RUNTIME_CLASS(CObject))
    && RUNTIME_CLASS(CTestPoint)->m_pfnCreateObject != nullptr;

TEST(RuntimeClass, RecordsAreReadyBeforeMain)
{
    EXPECT_TRUE(s_recordsReadyAtStartup);
}

TEST(RuntimeClass, RecordHoldsNameSchemaBaseAndFactory)
{
    const CRuntimeClass* p = RUNTIME_CLASS(CTestBitPoint);
    EXPECT_STREQ(p->m_lpszClassName, "CTestBitPoint");
    EXPECT_EQ(p->m_wSchema, 1u);
    EXPECT_EQ(p->m_pBaseClass, RUNTIME_CLASS(CTestPoint));
    EXPECT_EQ(p->m_nObjectSize, static_cast<int>(sizeof(CTestBitPoint)));
    std::unique_ptr<CObject> made(p->CreateObject());
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(made->GetRuntimeClass(), p);
}

TEST(RuntimeClass, KindsFollowTheBaseChain)
{
    const struct {
        const CRuntimeClass* cls;
        const CRuntimeClass* base;
        bool derived;
    } cases[] = {
        {RUNTIME_CLASS(CTestBitPoint), RUNTIME_CLASS(CTestBitPoint), true},
        {RUNTIME_CLASS(CTestBitPoint), RUNTIME_CLASS(CTestPoint), true},
        {RUNTIME_CLASS(CTestBitPoint), RUNTIME_CLASS(CObject), true},
        {RUNTIME_CLASS(CTestPoint), RUNTIME_CLASS(CTestBitPoint), false},
        {RUNTIME_CLASS(CTestDevice), RUNTIME_CLASS(CTestPoint), false},
        {RUNTIME_CLASS(CMemFile), RUNTIME_CLASS(CFile), true},
        {RUNTIME_CLASS(CObject), RUNTIME_CLASS(CTestPoint), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.cls->m_lpszClassName) + " : " + c.base->m_lpszClassName);
        EXPECT_EQ(c.cls->IsDerivedFrom(c.base), c.derived);
    }
    CTestBitPoint bit;
    const CObject& asObject = bit;
    EXPECT_TRUE(asObject.IsKindOf(RUNTIME_CLASS(CTestPoint)));
    EXPECT_FALSE(asObject.IsKindOf(RUNTIME_CLASS(CTestDevice)));
}

TEST(RuntimeClass, SerialisableOnlyWithSchemaAndFactory)
{
    EXPECT_TRUE(RUNTIME_CLASS(CTestPoint)->IsSerializable());
    EXPECT_FALSE(RUNTIME_CLASS(CTestDynamic)->IsSerializable()); // creatable, no schema
    EXPECT_FALSE(RUNTIME_CLASS(CFile)->IsSerializable());        // neither
    EXPECT_FALSE(RUNTIME_CLASS(CObject)->IsSerializable());
    std::unique_ptr<CObject> dyn(RUNTIME_CLASS(CTestDynamic)->CreateObject());
    EXPECT_NE(dyn, nullptr);
    EXPECT_EQ(RUNTIME_CLASS(CFile)->CreateObject(), nullptr);
}

TEST(ClassRegistry, CreatesByExactName)
{
    EXPECT_EQ(CRuntimeClass::FromName("CTestPoint"), RUNTIME_CLASS(CTestPoint));
    EXPECT_EQ(CRuntimeClass::FromName("CMemFile"), RUNTIME_CLASS(CMemFile));
    EXPECT_EQ(CRuntimeClass::FromName("CObject"), RUNTIME_CLASS(CObject));
    EXPECT_EQ(CRuntimeClass::FromName("ctestpoint"), nullptr);
    EXPECT_EQ(CRuntimeClass::FromName("CTestPoin"), nullptr);
    EXPECT_EQ(CRuntimeClass::FromName(""), nullptr);
    std::unique_ptr<CObject> made(CRuntimeClass::CreateObject("CTestDevice"));
    ASSERT_NE(made, nullptr);
    EXPECT_TRUE(made->IsKindOf(RUNTIME_CLASS(CTestDevice)));
    EXPECT_EQ(CRuntimeClass::CreateObject("CNoSuch"), nullptr);
}

CObject* MakeDevice() { return new CTestDevice; }

TEST(ClassRegistry, FirstClassKeepsItsName)
{
    static const CRuntimeClass impostor{"CTestPoint", 1, 1, &MakeDevice, RUNTIME_CLASS(CObject)};
    afx::ClassRegistration again(RUNTIME_CLASS(CTestPoint));
    afx::ClassRegistration clash(&impostor);
    EXPECT_EQ(CRuntimeClass::FromName("CTestPoint"), RUNTIME_CLASS(CTestPoint));
}

} // namespace
