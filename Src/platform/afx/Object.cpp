#include "platform/afx/Object.h"

#include <cstring>
#include <mutex>

namespace {

// The by-name registry: an intrusive list through the class records. Both members
// are constant-initialised, so registration works from any static initialiser,
// in this library or in a program that loads it, in whatever order they run.
struct ClassList {
    std::mutex mutex; // leaf: guards the list
    const CRuntimeClass* head = nullptr;
};
constinit ClassList s_classes;

const CRuntimeClass* FindLocked(std::string_view className)
{
    for (const CRuntimeClass* p = s_classes.head; p != nullptr; p = p->m_pNextClass) {
        if (className == p->m_lpszClassName)
            return p;
    }
    return nullptr;
}

} // namespace

constinit const CRuntimeClass CObject::classCObject{
    "CObject", static_cast<int>(sizeof(CObject)), afx::kNoSchema, nullptr, nullptr};

static const afx::ClassRegistration s_afxRegistration_CObject(RUNTIME_CLASS(CObject));

afx::ClassRegistration::ClassRegistration(const CRuntimeClass* pClass) noexcept
{
    std::lock_guard lock(s_classes.mutex);
    for (const CRuntimeClass* p = s_classes.head; p != nullptr; p = p->m_pNextClass) {
        if (p == pClass)
            return;
    }
    if (FindLocked(pClass->m_lpszClassName) != nullptr)
        return;
    pClass->m_pNextClass = s_classes.head;
    s_classes.head = pClass;
}

CObject* CRuntimeClass::CreateObject() const
{
    return m_pfnCreateObject != nullptr ? m_pfnCreateObject() : nullptr;
}

bool CRuntimeClass::IsDerivedFrom(const CRuntimeClass* pBaseClass) const
{
    for (const CRuntimeClass* p = this; p != nullptr; p = p->m_pBaseClass) {
        if (p == pBaseClass)
            return true;
    }
    return false;
}

const CRuntimeClass* CRuntimeClass::FromName(std::string_view className)
{
    std::lock_guard lock(s_classes.mutex);
    return FindLocked(className);
}

CObject* CRuntimeClass::CreateObject(std::string_view className)
{
    const CRuntimeClass* p = FromName(className);
    return p != nullptr ? p->CreateObject() : nullptr;
}

const CRuntimeClass* CObject::GetRuntimeClass() const
{
    return RUNTIME_CLASS(CObject);
}

void CObject::Serialize(CArchive&)
{
}

bool CObject::IsKindOf(const CRuntimeClass* pClass) const
{
    return GetRuntimeClass()->IsDerivedFrom(pClass);
}

bool CObject::IsSerializable() const
{
    return GetRuntimeClass()->IsSerializable();
}
