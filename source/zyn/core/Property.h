// Reflected properties: shared per-class accessors that read and write a
// value of an object as text or typed value, and named child groups.
// Created once at registration with new and handed to the class record, which
// holds them for the run. A property keeps no per-object state.
//
// Registering properties of a class (inside its static RegisterProps):
//   cls->InsertValueProp(new MemberProp<float>("Emit Rate", "Particles per second", &Emitter::m_fRate, 0));
//   cls->InsertValueProp(new GetSetMemberProp<Texture, std::string>("File", "...", &Texture::GetFile,
//   nullptr, 1));
// A member may also be given by its byte position: ZYN_MEMBER_OFFSET(Emitter, m_fRate).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <type_traits>

#include <zyn/core/Class.h>
#include <zyn/core/Log.h>

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

    /// The value of obj's member as text.
    virtual std::string GetValue(Object* obj) = 0;
    /// Converts the text into obj's member; false when the value cannot be set.
    virtual bool SetValue(Object* obj, std::string& value) = 0;
    virtual unsigned int GetPossibleValueCount(Object* obj);
    virtual std::string GetPossibleValueName(Object* obj, unsigned int index);
    virtual void SetPossibleValue(Object* obj, unsigned int index);
    virtual unsigned int GetPossibleValue(Object* obj);

    /// Bit 0 (kReadOnly) is advice to callers; setters still write.
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

/// The value property named label on cls or, failing that, on its parent
/// classes (depth first). Borrowed from the class record; null when absent.
ValueProperty* FindValueProperty(Class* cls, const char* label);
/// As FindValueProperty, for group properties.
GroupProperty* FindGroupProperty(Class* cls, const char* label);

// ---------------------------------------------------------------------------
// Text conversions. Types without their own conversion log a warning, read as
// "0" and ignore text.

template <class T>
std::string ConvertToString(const T&) {
    LogSend(kLogWarning, "Property is using non specialized ConvertToString!");
    return "0";
}

template <class T>
void ConvertFromString(const std::string&, T&) {
    LogSend(kLogWarning, "Property is using non specialized ConvertFromString");
}

template <>
std::string ConvertToString<int>(const int& v);
template <>
std::string ConvertToString<unsigned int>(const unsigned int& v);
template <>
std::string ConvertToString<unsigned short>(const unsigned short& v);
template <>
std::string ConvertToString<unsigned char>(const unsigned char& v);
template <>
std::string ConvertToString<std::string>(const std::string& v);
template <>
std::string ConvertToString<bool>(const bool& v);
template <>
std::string ConvertToString<float>(const float& v);
template <>
std::string ConvertToString<Point3D<float>>(const Point3D<float>& v);
template <>
std::string ConvertToString<Point2D<float>>(const Point2D<float>& v);

template <>
void ConvertFromString<int>(const std::string& s, int& v);
template <>
void ConvertFromString<unsigned int>(const std::string& s, unsigned int& v);
template <>
void ConvertFromString<unsigned short>(const std::string& s, unsigned short& v);
template <>
void ConvertFromString<unsigned char>(const std::string& s, unsigned char& v);
template <>
void ConvertFromString<std::string>(const std::string& s, std::string& v);
template <>
void ConvertFromString<bool>(const std::string& s, bool& v);
template <>
void ConvertFromString<float>(const std::string& s, float& v);
template <>
void ConvertFromString<Point3D<float>>(const std::string& s, Point3D<float>& v);
template <>
void ConvertFromString<Point2D<float>>(const std::string& s, Point2D<float>& v);

// ---------------------------------------------------------------------------
// Typed value properties. There is one class record per value type, so code
// can switch on a property's GetClass(); the kinds below answer the record of
// their value type.

template <class T>
class TypedValueProperty : public ValueProperty {
public:
    static ::Zyn::CppClass sm_Class;
    ::Zyn::Class* GetClass() override { return &sm_Class; }
    void* CastMeToClass(::Zyn::Class* cls) override {
        // Released from class records at process exit, when the record of
        // this value type may already be gone: the cast to Object must not
        // consult it.
        if (cls == &Object::sm_Class) return static_cast<Object*>(this);
        return sm_Class.DownCast(this, cls);
    }

    TypedValueProperty(const char* name, const char* desc, u32 flags, Class* valueClass = nullptr)
        : ValueProperty(name, desc, flags, valueClass) {}

    virtual T Get(Object* obj) = 0;
    /// False when the value cannot be set on this object.
    virtual bool Set(Object* obj, T& value) = 0;
};

// The fifteen records, defined and registered in this order in Property.cpp.
template <>
::Zyn::CppClass TypedValueProperty<s32>::sm_Class;
template <>
::Zyn::CppClass TypedValueProperty<u32>::sm_Class;
template <>
::Zyn::CppClass TypedValueProperty<s16>::sm_Class;
template <>
::Zyn::CppClass TypedValueProperty<u16>::sm_Class;
template <>
::Zyn::CppClass TypedValueProperty<u8>::sm_Class;
template <>
::Zyn::CppClass TypedValueProperty<s8>::sm_Class;
template <>
::Zyn::CppClass TypedValueProperty<std::string>::sm_Class;
template <>
::Zyn::CppClass TypedValueProperty<bool>::sm_Class;
template <>
::Zyn::CppClass TypedValueProperty<Color>::sm_Class;
template <>
::Zyn::CppClass TypedValueProperty<f32>::sm_Class;
template <>
::Zyn::CppClass TypedValueProperty<Point3D<f32>>::sm_Class;
template <>
::Zyn::CppClass TypedValueProperty<Point2D<f32>>::sm_Class;
template <>
::Zyn::CppClass TypedValueProperty<Point3D<s32>>::sm_Class;
template <>
::Zyn::CppClass TypedValueProperty<Point2D<s32>>::sm_Class;
template <>
::Zyn::CppClass TypedValueProperty<void*>::sm_Class;

/// Byte position of member m of class C, counted from C's Object part.
#define ZYN_MEMBER_OFFSET(C, m) ::Zyn::MemberOffset(&C::m)

template <class C, class T>
unsigned int MemberOffset(T C::*member) {
    static_assert(std::is_base_of<Object, C>::value, "members of Object classes only");
    // Address arithmetic on raw storage; nothing is read or constructed. The
    // position counts from the Object part, which MemberProp is handed.
    alignas(C) static unsigned char storage[sizeof(C)];
    C* c = reinterpret_cast<C*>(storage);
    const unsigned char* field = reinterpret_cast<const unsigned char*>(&(c->*member));
    const unsigned char* base = reinterpret_cast<const unsigned char*>(static_cast<Object*>(c));
    return unsigned(field - base);
}

/// A T member read and written in place at a fixed byte position. The class
/// of the object is not checked: pass instances of the registering class.
template <class T>
class MemberProp : public TypedValueProperty<T> {
public:
    MemberProp(const char* name, const char* desc, unsigned int position, u32 flags)
        : TypedValueProperty<T>(name, desc, flags), m_Position(position) {}
    template <class C>
    MemberProp(const char* name, const char* desc, T C::*member, u32 flags)
        : MemberProp(name, desc, MemberOffset(member), flags) {}

    T Get(Object* obj) override { return Member(obj); }
    bool Set(Object* obj, T& value) override {
        Member(obj) = value;
        return true;
    }
    std::string GetValue(Object* obj) override { return ConvertToString<T>(Member(obj)); }
    bool SetValue(Object* obj, std::string& value) override {
        ConvertFromString<T>(value, Member(obj));
        return true;
    }
    unsigned int GetPosition() const { return m_Position; }

private:
    T& Member(Object* obj) {
        return *reinterpret_cast<T*>(reinterpret_cast<unsigned char*>(obj) + m_Position);
    }

    unsigned int m_Position;
};

/// A value reached through a getter and an optional setter of C (either may
/// be virtual, const, take or return by value or by const reference; a null
/// setter makes the value read-only). Objects that are not a C read as T().
template <class C, class T>
class GetSetMemberProp : public TypedValueProperty<T> {
public:
    template <class G, class S>
    GetSetMemberProp(const char* name, const char* desc, G getter, S setter, u32 flags)
        : TypedValueProperty<T>(name, desc, flags) {
        m_Get = [getter](C& c) -> T { return (c.*getter)(); };
        if constexpr (!std::is_null_pointer<S>::value) {
            if (setter) m_Set = [setter](C& c, T& v) { (c.*setter)(v); };
        }
    }

    T Get(Object* obj) override {
        C* c = ZYN_Cast<C, Object>(obj);
        return c ? m_Get(*c) : T();
    }
    bool Set(Object* obj, T& value) override {
        C* c = ZYN_Cast<C, Object>(obj);
        if (!m_Set || !c) return false;
        m_Set(*c, value);
        return true;
    }
    std::string GetValue(Object* obj) override { return ConvertToString<T>(Get(obj)); }
    bool SetValue(Object* obj, std::string& text) override {
        C* c = ZYN_Cast<C, Object>(obj);
        if (!c) {
            LogSend(kLogError, "GetSetMemberProp -> SetValue failed");
            return false;
        }
        if (!m_Set) return false;
        // Starting from the current value keeps it for types without a conversion.
        T value = m_Get(*c);
        ConvertFromString<T>(text, value);
        m_Set(*c, value);
        return true;
    }
    bool HasSetter() const { return bool(m_Set); }

private:
    std::function<T(C&)> m_Get;
    std::function<void(C&, T&)> m_Set;
};

/// A pointer to a T reached through a getter and an optional setter of C.
/// Its record is "TypedValueProperty<void*>"; its value class is T's record.
/// The text form is for display only: it cannot be set from text.
template <class C, class T>
class GetSetPointerProp : public TypedValueProperty<void*> {
public:
    template <class G, class S>
    GetSetPointerProp(const char* name, const char* desc, G getter, S setter, u32 flags)
        : TypedValueProperty<void*>(name, desc, flags, &T::sm_Class) {
        m_Get = [getter](C& c) -> T* { return (c.*getter)(); };
        if constexpr (!std::is_null_pointer<S>::value) {
            if (setter) m_Set = [setter](C& c, T* v) { (c.*setter)(v); };
        }
    }

    /// The pointer as a T*; null for objects that are not a C.
    T* GetTyped(Object* obj) {
        C* c = ZYN_Cast<C, Object>(obj);
        return c ? m_Get(*c) : nullptr;
    }
    void* Get(Object* obj) override { return GetTyped(obj); }
    /// value must point at a T (or be null).
    bool Set(Object* obj, void*& value) override {
        C* c = ZYN_Cast<C, Object>(obj);
        if (!m_Set || !c) return false;
        m_Set(*c, static_cast<T*>(value));
        return true;
    }
    /// "NULL Pointer", "name (Class)" for a T, "number (Class)" otherwise.
    std::string GetValue(Object* obj) override {
        T* p = GetTyped(obj);
        if (!p) return "NULL Pointer";
        Class* cls = p->GetClass();
        Object* o = ZYN_Cast<Object, T>(p);
        char buffer[1024];
        if (o && cls && cls->Supports(&T::sm_Class)) {
            std::snprintf(buffer, sizeof buffer, "%s (%s)", o->GetName().c_str(), cls->GetClassName());
        } else {
            std::snprintf(buffer, sizeof buffer, "%lld (%s)",
                          static_cast<long long>(reinterpret_cast<intptr_t>(p)),
                          cls ? cls->GetClassName() : "");
        }
        return buffer;
    }
    bool SetValue(Object*, std::string&) override {
        LogSend(kLogError, "GetSetPointerProp -> SetValue not available for pointer properties.");
        return false;
    }

private:
    std::function<T*(C&)> m_Get;
    std::function<void(C&, T*)> m_Set;
};

}  // namespace Zyn
