#pragma once
//
//  Run-time class records of the class library: a class that declares itself creatable can be
//  built from its record alone, which is how threads are started by class (AfxBeginThread).
//
class CObject;

struct CRuntimeClass {
    const char* m_lpszClassName;
    CObject* (*m_pfnCreateObject)();
    const CRuntimeClass* m_pBaseClass;

    // A new object of the class, or null when the class is not creatable or memory ran out.
    CObject* CreateObject() const;
    // True when this class is the given one or derives from it.
    bool IsDerivedFrom(const CRuntimeClass* base) const;
};

class CObject {
public:
    virtual ~CObject() = default;
    virtual const CRuntimeClass* GetRuntimeClass() const;
    bool IsKindOf(const CRuntimeClass* runtimeClass) const { return GetRuntimeClass()->IsDerivedFrom(runtimeClass); }

    static const CRuntimeClass classCObject;

protected:
    CObject() = default;
};

#define RUNTIME_CLASS(class_name) (&class_name::class##class_name)

// In the class: a record and a factory. In one source file: the record's definition.
#define DECLARE_DYNCREATE(class_name)                                                              \
public:                                                                                            \
    static const CRuntimeClass class##class_name;                                                  \
    static CObject* CreateObject();                                                                \
    const CRuntimeClass* GetRuntimeClass() const override;

#define IMPLEMENT_DYNCREATE(class_name, base_class_name)                                           \
    CObject* class_name::CreateObject() { return new (std::nothrow) class_name; }                  \
    const CRuntimeClass class_name::class##class_name = {#class_name, &class_name::CreateObject,   \
                                                         RUNTIME_CLASS(base_class_name)};          \
    const CRuntimeClass* class_name::GetRuntimeClass() const { return RUNTIME_CLASS(class_name); }
