// Reflected properties: shared per-class accessors that read and write a
// value of an object as text or typed value, and named child groups.
// Created once at registration; held by their class record for the run.
#pragma once

#include <string>

#include <zyn/core/Class.h>

namespace Zyn {

class Property : public Object {
    ZYN_DECLARE_CLASS(Property)

public:
    /// The name is the label; the description is accepted and not kept.
    Property(const char* name, const char* desc);
    /// Returns the name.
    const char* GetDesc() const { return m_Name.c_str(); }
};

class ValueProperty : public Property {
    ZYN_DECLARE_CLASS(ValueProperty)

public:
    enum : u32 { kReadOnly = 1 };

    ValueProperty(const char* name, const char* desc, u32 flags, Class* valueClass = nullptr);

    virtual std::string GetValue(Object* obj) = 0;
    virtual bool SetValue(Object* obj, std::string& value) = 0;
    virtual unsigned int GetPossibleValueCount(Object* obj);
    virtual std::string GetPossibleValueName(Object* obj, unsigned int index);
    virtual void SetPossibleValue(Object* obj, unsigned int index);
    virtual unsigned int GetPossibleValue(Object* obj);

    u32 GetFlags() const { return m_Flags; }
    /// Class of the object pointed to for pointer properties, else null.
    Class* GetValueClass() const { return m_pValueClass; }

protected:
    u32 m_Flags;
    Class* m_pValueClass;
};

class GroupProperty : public Property {
    ZYN_DECLARE_CLASS(GroupProperty)

public:
    GroupProperty(const char* name, const char* desc, int group, Class* elementClass);
    int GetGroup() const { return m_Group; }
    Class* GetElementClass() const { return m_pElementClass; }

private:
    int m_Group;
    Class* m_pElementClass;
};

class FunctionPropertyBase : public Property {
    ZYN_DECLARE_CLASS(FunctionPropertyBase)

public:
    FunctionPropertyBase(const char* name, const char* desc);
    /// Calls the function on the object; true when it ran.
    virtual bool Call(Object* obj) = 0;
};

}  // namespace Zyn
