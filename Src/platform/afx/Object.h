#pragma once
// Run-time class records and the root of every persistent or polymorphic class.
//
// A class makes itself serialisable with one line in its header and one in its .cpp:
//
//     class CdsThing : public CObject {
//         DECLARE_SERIAL(CdsThing)
//     public:
//         void Serialize(CArchive& ar) override;
//     };
//
//     IMPLEMENT_SERIAL(CdsThing, CObject, 1)     // in a .cpp that includes Archive.h
//
// DECLARE_DYNCREATE/IMPLEMENT_DYNCREATE make a class creatable by name without being
// serialisable, DECLARE_DYNAMIC/IMPLEMENT_DYNAMIC give it a run-time class only.
// Class names are global: a second class of the same name is not registered.
//
// The class record is constant-initialised (no constructor runs), so it can be used
// from any static initialiser; only its entry in the by-name registry is made at
// static-initialisation time, and the registry itself needs no construction either.
#include "platform/win/WinTypes.h"

#include <string_view>

class CArchive;
class CObject;

namespace afx {
// Schema of a class that is dynamically creatable but not serialisable.
inline constexpr UINT kNoSchema = 0xFFFF;
} // namespace afx

struct CRuntimeClass {
    const char* m_lpszClassName;
    int m_nObjectSize;
    UINT m_wSchema;                         // afx::kNoSchema: not serialisable
    CObject* (*m_pfnCreateObject)();        // null: not dynamically creatable
    const CRuntimeClass* m_pBaseClass;      // null only for CObject
    mutable const CRuntimeClass* m_pNextClass = nullptr; // by-name registry link

    // A new object of this class, or null when the class cannot be created.
    CObject* CreateObject() const;
    bool IsDerivedFrom(const CRuntimeClass* pBaseClass) const;
    bool IsSerializable() const { return m_wSchema != afx::kNoSchema && m_pfnCreateObject != nullptr; }

    // The registered class of that exact name, or null.
    static const CRuntimeClass* FromName(std::string_view className);
    // A new object of the registered class of that name, or null.
    static CObject* CreateObject(std::string_view className);
};

class CObject {
public:
    static const CRuntimeClass classCObject;
    // The record of the class named in the call (RUNTIME_CLASS for templates).
    static const CRuntimeClass* GetThisClass() { return &classCObject; }

    virtual ~CObject() = default;
    virtual const CRuntimeClass* GetRuntimeClass() const;
    // Base version stores and loads nothing.
    virtual void Serialize(CArchive& ar);

    bool IsKindOf(const CRuntimeClass* pClass) const;
    bool IsSerializable() const;

protected:
    CObject() = default;
    CObject(const CObject&) = default;
    CObject& operator=(const CObject&) = default;
};

namespace afx {
// Enters a class record into the by-name registry; one static instance per class.
// Registering the same record twice, or a second class under a name already taken,
// leaves the registry unchanged (the first one keeps the name).
struct ClassRegistration {
    explicit ClassRegistration(const CRuntimeClass* pClass) noexcept;
};
} // namespace afx

#define RUNTIME_CLASS(class_name) (&class_name::class##class_name)

#define DECLARE_DYNAMIC(class_name)                                                        \
public:                                                                                    \
    static const CRuntimeClass class##class_name;                                          \
    static const CRuntimeClass* GetThisClass() { return &class##class_name; }              \
    const CRuntimeClass* GetRuntimeClass() const override;

#define DECLARE_DYNCREATE(class_name)                                                      \
    DECLARE_DYNAMIC(class_name)                                                            \
    static CObject* CreateObject();

#define DECLARE_SERIAL(class_name)                                                         \
    DECLARE_DYNCREATE(class_name)                                                          \
    friend CArchive& operator>>(CArchive& ar, class_name*& pOb);

#define AFX_IMPLEMENT_RUNTIMECLASS_(class_name, base_class_name, wSchema, pfnNew)          \
    constinit const CRuntimeClass class_name::class##class_name{                           \
        #class_name, static_cast<int>(sizeof(class_name)), (wSchema), (pfnNew),            \
        RUNTIME_CLASS(base_class_name)};                                                   \
    const CRuntimeClass* class_name::GetRuntimeClass() const                               \
    {                                                                                      \
        return RUNTIME_CLASS(class_name);                                                  \
    }                                                                                      \
    static const ::afx::ClassRegistration s_afxRegistration_##class_name(                  \
        RUNTIME_CLASS(class_name));

#define IMPLEMENT_DYNAMIC(class_name, base_class_name)                                     \
    AFX_IMPLEMENT_RUNTIMECLASS_(class_name, base_class_name, ::afx::kNoSchema, nullptr)

#define IMPLEMENT_DYNCREATE(class_name, base_class_name)                                   \
    CObject* class_name::CreateObject() { return new class_name; }                         \
    AFX_IMPLEMENT_RUNTIMECLASS_(class_name, base_class_name, ::afx::kNoSchema,                    \
                                &class_name::CreateObject)

// The archive records wSchema with the class; any stored schema is accepted on load
// and handed to the object through CArchive::GetObjectSchema.
#define IMPLEMENT_SERIAL(class_name, base_class_name, wSchema)                             \
    CObject* class_name::CreateObject() { return new class_name; }                         \
    AFX_IMPLEMENT_RUNTIMECLASS_(class_name, base_class_name, (wSchema),                    \
                                &class_name::CreateObject)                                 \
    CArchive& operator>>(CArchive& ar, class_name*& pOb)                                   \
    {                                                                                      \
        pOb = static_cast<class_name*>(ar.ReadObject(RUNTIME_CLASS(class_name)));          \
        return ar;                                                                         \
    }
