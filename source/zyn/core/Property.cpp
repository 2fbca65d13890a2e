#include <zyn/core/Property.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <zyn/core/Root.h>
#include <zyn/io/Package.h>
#include <zyn/core/ResourceManagerBase.h>

namespace Zyn {

// Properties are released by class records at process exit, in whatever
// order the records are destroyed; the cast to Object that the release needs
// must not consult a record that may already be gone.
#define ZYN_IMPLEMENT_PROPERTY_CLASS(X, NAME, BASE)                                      \
    ::Zyn::CppClass X::sm_Class(NAME, nullptr, nullptr, nullptr, 1, &BASE::sm_Class, 0); \
    ::Zyn::Class* X::GetClass() { return &X::sm_Class; }                                 \
    void* X::CastMeToClass(::Zyn::Class* cls) {                                          \
        if (cls == &Object::sm_Class) return static_cast<Object*>(this);                 \
        return X::sm_Class.DownCast(this, cls);                                          \
    }

ZYN_IMPLEMENT_PROPERTY_CLASS(Property, "Property", Object)
ZYN_IMPLEMENT_PROPERTY_CLASS(ValueProperty, "ValueProperty", Property)
ZYN_IMPLEMENT_PROPERTY_CLASS(GroupProperty, "GroupProperty", Property)
ZYN_IMPLEMENT_PROPERTY_CLASS(FunctionPropertyBase, "FunctionPropertyBase", Property)

// Explicit specialisations are initialised in the order of definition, so the
// records enter the class chain in this order.
#define ZYN_TYPED_PROPERTY_RECORD(T, NAME)                                              \
    template <>                                                                         \
    ::Zyn::CppClass TypedValueProperty<T>::sm_Class(NAME, nullptr, nullptr, nullptr, 1, \
                                                    &ValueProperty::sm_Class, 0);

ZYN_TYPED_PROPERTY_RECORD(s32, "TypedValueProperty<s32>")
ZYN_TYPED_PROPERTY_RECORD(u32, "TypedValueProperty<u32>")
ZYN_TYPED_PROPERTY_RECORD(s16, "TypedValueProperty<s16>")
ZYN_TYPED_PROPERTY_RECORD(u16, "TypedValueProperty<u16>")
ZYN_TYPED_PROPERTY_RECORD(u8, "TypedValueProperty<u8>")
ZYN_TYPED_PROPERTY_RECORD(s8, "TypedValueProperty<s8>")
ZYN_TYPED_PROPERTY_RECORD(std::string, "TypedValueProperty<ZynString>")
ZYN_TYPED_PROPERTY_RECORD(bool, "TypedValueProperty<bool>")
ZYN_TYPED_PROPERTY_RECORD(Color, "TypedValueProperty<Color>")
ZYN_TYPED_PROPERTY_RECORD(f32, "TypedValueProperty<f32>")
ZYN_TYPED_PROPERTY_RECORD(Point3D<f32>, "TypedValueProperty<Point3D_f32>")
ZYN_TYPED_PROPERTY_RECORD(Point2D<f32>, "TypedValueProperty<Point2D_f32>")
ZYN_TYPED_PROPERTY_RECORD(Point3D<s32>, "TypedValueProperty<Point3D_s32>")
ZYN_TYPED_PROPERTY_RECORD(Point2D<s32>, "TypedValueProperty<Point2D_s32>")
ZYN_TYPED_PROPERTY_RECORD(void*, "TypedValueProperty<void*>")

Property::Property(const char* name, const char*) : Object(name) {}

ValueProperty::ValueProperty(const char* name, const char* desc, u32 flags, Class* valueClass)
    : Property(name, desc), m_Flags(flags), m_pValueClass(valueClass) {}

unsigned int ValueProperty::GetPossibleValueCount(Object*) { return 0; }
std::string ValueProperty::GetPossibleValueName(Object*, unsigned int) { return m_Name; }
void ValueProperty::SetPossibleValue(Object*, unsigned int) {}
unsigned int ValueProperty::GetPossibleValue(Object*) { return 0; }

GroupProperty::GroupProperty(const char* name, const char* desc, int group, Class* elementClass)
    : Property(name, desc), m_Group(group), m_pElementClass(elementClass) {}

FunctionPropertyBase::FunctionPropertyBase(const char* name, const char* desc) : Property(name, desc) {}

namespace {

template <class P>
P* FindProperty(Class* cls, const char* label, const std::list<P*>& (Class::*list)() const, int depth) {
    // Class hierarchies are shallow; the bound only guards against a corrupt chain.
    if (!cls || !label || depth > 64) return nullptr;
    for (P* p : (cls->*list)()) {
        if (p->GetName() == label) return p;
    }
    std::list<Class*> parents;
    cls->EnumParentClasses(parents);
    for (Class* parent : parents) {
        if (P* p = FindProperty(parent, label, list, depth + 1)) return p;
    }
    return nullptr;
}

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...) {
    char buffer[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    return buffer;
}

// atof of the text after the next comma, moving the cursor there; 0 when none.
float NextPart(const char*& cursor) {
    if (!cursor) return 0.0f;
    cursor = std::strchr(cursor, ',');
    if (!cursor) return 0.0f;
    ++cursor;
    return float(std::atof(cursor));
}

}  // namespace

ValueProperty* FindValueProperty(Class* cls, const char* label) {
    return FindProperty<ValueProperty>(cls, label, &Class::GetValueProps, 0);
}

GroupProperty* FindGroupProperty(Class* cls, const char* label) {
    return FindProperty<GroupProperty>(cls, label, &Class::GetGroupProps, 0);
}

template <>
std::string ConvertToString<int>(const int& v) {
    return Format("%d", v);
}
template <>
std::string ConvertToString<unsigned int>(const unsigned int& v) {
    // Printed signed on purpose: values above 2^31 - 1 read negative and
    // convert back to the same bits.
    return Format("%d", int(v));
}
template <>
std::string ConvertToString<unsigned short>(const unsigned short& v) {
    return Format("%d", int(v));
}
template <>
std::string ConvertToString<unsigned char>(const unsigned char& v) {
    return Format("%d", int(v));
}
template <>
std::string ConvertToString<std::string>(const std::string& v) {
    return v;
}
template <>
std::string ConvertToString<bool>(const bool& v) {
    return Format("%d", v ? 1 : 0);
}
template <>
std::string ConvertToString<float>(const float& v) {
    return Format("%.3f", double(v));
}
template <>
std::string ConvertToString<Point3D<float>>(const Point3D<float>& v) {
    return Format("%1.2f, %1.2f, %1.2f", double(v.x), double(v.y), double(v.z));
}
template <>
std::string ConvertToString<Point2D<float>>(const Point2D<float>& v) {
    return Format("%1.2f, %1.2f", double(v.x), double(v.y));
}

template <>
void ConvertFromString<int>(const std::string& s, int& v) {
    v = std::atoi(s.c_str());
}
template <>
void ConvertFromString<unsigned int>(const std::string& s, unsigned int& v) {
    v = unsigned(std::atoi(s.c_str()));
}
template <>
void ConvertFromString<unsigned short>(const std::string& s, unsigned short& v) {
    v = static_cast<unsigned short>(std::atoi(s.c_str()));
}
template <>
void ConvertFromString<unsigned char>(const std::string& s, unsigned char& v) {
    v = static_cast<unsigned char>(std::atoi(s.c_str()));
}
template <>
void ConvertFromString<std::string>(const std::string& s, std::string& v) {
    v = s;
}
template <>
void ConvertFromString<bool>(const std::string& s, bool& v) {
    v = std::atoi(s.c_str()) > 0;
}
template <>
void ConvertFromString<float>(const std::string& s, float& v) {
    v = float(std::atof(s.c_str()));
}
template <>
void ConvertFromString<Point3D<float>>(const std::string& s, Point3D<float>& v) {
    const char* cursor = s.c_str();
    v.x = float(std::atof(cursor));
    v.y = NextPart(cursor);
    v.z = NextPart(cursor);
}
template <>
void ConvertFromString<Point2D<float>>(const std::string& s, Point2D<float>& v) {
    const char* cursor = s.c_str();
    v.x = float(std::atof(cursor));
    v.y = NextPart(cursor);
}

void Object::RegisterProps(Class* cls) {
    cls->InsertValueProp(new MemberProp<int>(
        "Reference count", "Number of references to this object from other objects (including parents)",
        &Object::m_RefCount, 1));
    cls->InsertValueProp(new GetSetMemberProp<Object, unsigned int>(
        "Parent Count",
        "Number of parent objects (this should generally be the number of objects that this object was "
        "inserted to).",
        &Object::GetObjectParentCount, nullptr, 1));
    cls->InsertValueProp(new GetSetMemberProp<Object, std::string>(
        "Name", "The name of the object", &Object::GetObjNameCopy, &Object::SetName, 0));
    cls->InsertValueProp(new GetSetMemberProp<Object, std::string>(
        "Class name", "Name of the class the object belongs to", &Object::GetObjectClassName, nullptr, 1));
}

void Root::RegisterProps(Class* cls) {
    cls->InsertGroupProp(new GroupProperty("Update", "Objects that receive update tick per frame", kUpdate,
                                           &Object::sm_Class));
    cls->InsertGroupProp(new GroupProperty("Log Outputs", "Objects that receive Log messages", kLogOutputs,
                                           &LogOutput::sm_Class));
    cls->InsertGroupProp(
        new GroupProperty("Packages", "Contains all registered packages", kPackages, &Package::sm_Class));
    cls->InsertGroupProp(new GroupProperty("Resource Managers", "Contains all registered resource managers",
                                           kResourceManagers, &ResourceManagerBase::sm_Class));
    cls->InsertValueProp(new GetSetMemberProp<Root, std::string>(
        "Language", "The current language for the application", &Root::GetLanguage, &Root::SetLanguage, 0));
}

}  // namespace Zyn
