#include <zyn/core/Property.h>

#include <zyn/core/Root.h>

namespace Zyn {

ZYN_IMPLEMENT_CLASS(Property, "Property", nullptr, nullptr, nullptr, Object)
ZYN_IMPLEMENT_CLASS(ValueProperty, "ValueProperty", nullptr, nullptr, nullptr, Property)
ZYN_IMPLEMENT_CLASS(GroupProperty, "GroupProperty", nullptr, nullptr, nullptr, Property)
ZYN_IMPLEMENT_CLASS(FunctionPropertyBase, "FunctionPropertyBase", nullptr, nullptr, nullptr, Property)

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

// TODO(properties): the typed properties of Object and Root.
void Object::RegisterProps(Class*) {}
void Root::RegisterProps(Class*) {}

}  // namespace Zyn
