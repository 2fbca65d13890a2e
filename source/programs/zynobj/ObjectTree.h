// A generic view of loaded object hierarchies through the class records: the
// value properties of an object's class and its ancestors, its children by
// group, paths of object names, and value text checked against the type of
// a property. Pointers handed out are borrowed from the hierarchy or from
// the class records.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace Zyn {
class Class;
class Object;
class ValueProperty;
}  // namespace Zyn

namespace ZynObj {

struct PropertyEntry {
    Zyn::Class* owner;  // the record that registered the property
    Zyn::ValueProperty* property;
};

/// The value properties of cls and of its parent records, depth first: a
/// record's own list before its parents', each record once.
std::vector<PropertyEntry> CollectValueProperties(Zyn::Class* cls);

struct ChildGroup {
    int index;
    std::string label;  // the group property's label, or empty
    std::vector<Zyn::Object*> children;
};

/// The non-empty child groups of obj in index order.
std::vector<ChildGroup> CollectChildGroups(Zyn::Object* obj);

/// The value type of a property in short form: "f32", "string", "Texture*".
std::string TypeName(Zyn::ValueProperty* property);

/// The value as the property system writes it, except for types the system
/// has no text for (colours, signed shorts and bytes, integer points), which
/// are formatted from the typed value.
std::string ValueText(Zyn::Object* obj, Zyn::ValueProperty* property);

/// True when the property is read-only for this object.
bool IsReadOnly(Zyn::Object* obj, Zyn::ValueProperty* property);

/// The path component naming child among the children of parent: its name,
/// with "[n]" appended when n > 1 siblings share it, and "/" and "\"
/// escaped so that ResolvePath reads it back.
std::string PathComponent(Zyn::Object* parent, Zyn::Object* child);

/// The object at path below root: components separated by "/", the first
/// naming the root itself (or "." for it). "\/" stands for a slash inside a
/// name, "\\" for a backslash; "name[n]" picks the n-th of several siblings
/// of one name. Null, with the reason in error, when nothing matches.
Zyn::Object* ResolvePath(Zyn::Object* root, const std::string& path, std::string& error);

/// Finds the object a pointer property should point at by name: a new
/// reference for the caller, or null with the reason in error.
typedef std::function<Zyn::Object*(Zyn::Class* valueClass, const std::string& name, std::string& error)>
    PointerResolver;

/// Sets the property of obj from text after checking the text against the
/// property's type; pointer properties take the name of their target, found
/// through resolve. False, with the reason in error, when the text does not
/// fit the type or the property refuses the value.
bool SetPropertyFromText(Zyn::Object* obj, Zyn::ValueProperty* property, const std::string& text,
                         const PointerResolver& resolve, std::string& error);

}  // namespace ZynObj
