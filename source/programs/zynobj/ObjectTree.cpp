#include "ObjectTree.h"

#include <cctype>
#include <cfloat>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <list>
#include <map>
#include <set>

#include <zyn/core/Class.h>
#include <zyn/core/Property.h>

#include "CommandArgs.h"

using Zyn::Class;
using Zyn::Object;
using Zyn::ValueProperty;

namespace ZynObj {

namespace {

// Class records are shallow; the bound only guards against a damaged chain.
const int kMaxClassDepth = 64;

template <class F>
void WalkClasses(Class* cls, std::set<Class*>& seen, int depth, F&& visit) {
    if (!cls || depth > kMaxClassDepth || !seen.insert(cls).second) return;
    visit(cls);
    std::list<Class*> parents;
    cls->EnumParentClasses(parents);
    for (Class* parent : parents) WalkClasses(parent, seen, depth + 1, visit);
}

/// Every child of obj once, in group order: the siblings a path component chooses from.
std::vector<Object*> Children(Object* obj) {
    std::vector<Object*> out;
    std::set<Object*> seen;
    for (const ChildGroup& g : CollectChildGroups(obj))
        for (Object* child : g.children)
            if (seen.insert(child).second) out.push_back(child);
    return out;
}

std::vector<Object*> NamedChildren(Object* obj, const std::string& name) {
    std::vector<Object*> out;
    for (Object* child : Children(obj))
        if (child->GetName() == name) out.push_back(child);
    return out;
}

/// Splits a path into unescaped components; empty components are dropped.
std::vector<std::string> SplitPath(const std::string& path) {
    std::vector<std::string> parts;
    std::string cur;
    for (size_t i = 0; i < path.size(); ++i) {
        const char c = path[i];
        if (c == '\\' && i + 1 < path.size() && (path[i + 1] == '\\' || path[i + 1] == '/')) {
            cur += path[++i];
        } else if (c == '/') {
            if (!cur.empty()) parts.push_back(cur);
            cur.clear();
        } else {
            cur += c;
        }
    }
    if (!cur.empty()) parts.push_back(cur);
    return parts;
}

std::string Escape(const std::string& name) {
    std::string out;
    for (size_t i = 0; i < name.size(); ++i) {
        const char c = name[i];
        if (c == '/') {
            out += "\\/";
        } else if (c == '\\') {
            // A lone backslash stays as it is (names written for packs use
            // them); only one that could be read as an escape is doubled.
            const bool ambiguous = i + 1 == name.size() || name[i + 1] == '\\' || name[i + 1] == '/';
            out += ambiguous ? "\\\\" : "\\";
        } else {
            out += c;
        }
    }
    return out;
}

std::string Trim(const std::string& s) {
    size_t a = 0, b = s.size();
    while (a < b && std::isspace(static_cast<unsigned char>(s[a]))) ++a;
    while (b > a && std::isspace(static_cast<unsigned char>(s[b - 1]))) --b;
    return s.substr(a, b - a);
}

bool ParseInteger(const std::string& text, long long lo, long long hi, long long& out) {
    return ZynTool::ParseInteger(Trim(text), lo, hi, out);
}

bool ParseFloat(const std::string& text, float& out) {
    double v = 0.0;
    if (!ZynTool::ParseNumber(Trim(text), -FLT_MAX, FLT_MAX, v)) return false;
    out = float(v);
    return true;
}

bool ParseFloats(const std::string& text, size_t count, std::vector<float>& out) {
    out.clear();
    size_t start = 0;
    for (;;) {
        const size_t comma = text.find(',', start);
        float v = 0.0f;
        if (!ParseFloat(text.substr(start, comma == std::string::npos ? std::string::npos : comma - start),
                        v))
            return false;
        out.push_back(v);
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return out.size() == count;
}

bool ParseBool(const std::string& text, bool& out) {
    std::string t = Trim(text);
    for (char& c : t) c = char(std::tolower(static_cast<unsigned char>(c)));
    if (t == "1" || t == "true" || t == "yes" || t == "on") {
        out = true;
        return true;
    }
    if (t == "0" || t == "false" || t == "no" || t == "off") {
        out = false;
        return true;
    }
    return false;
}

/// "0xAARRGGBB", "#AARRGGBB", or "#RRGGBB" for an opaque colour.
bool ParseColor(const std::string& text, Zyn::u32& out) {
    const std::string t = Trim(text);
    std::string digits;
    if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X'))
        digits = t.substr(2);
    else if (t.size() > 1 && t[0] == '#')
        digits = t.substr(1);
    else
        return false;
    if (digits.size() != 6 && digits.size() != 8) return false;
    for (char c : digits)
        if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
    out = Zyn::u32(std::strtoul(digits.c_str(), nullptr, 16));
    if (digits.size() == 6) out |= 0xFF000000u;
    return true;
}

std::string Format(const char* format, double a, double b = 0.0, double c = 0.0) {
    char buffer[128];
    std::snprintf(buffer, sizeof buffer, format, a, b, c);
    return buffer;
}

template <class T>
Zyn::TypedValueProperty<T>* Typed(ValueProperty* property) {
    if (property->GetClass() != &Zyn::TypedValueProperty<T>::sm_Class) return nullptr;
    return static_cast<Zyn::TypedValueProperty<T>*>(property);
}

bool SetText(Object* obj, ValueProperty* property, std::string text, std::string& error) {
    if (property->SetValue(obj, text)) return true;
    error = "\"" + property->GetName() + "\" cannot be set on this object (it has no setter)";
    return false;
}

}  // namespace

std::vector<PropertyEntry> CollectValueProperties(Class* cls) {
    std::vector<PropertyEntry> out;
    std::set<Class*> seen;
    WalkClasses(cls, seen, 0, [&out](Class* c) {
        for (ValueProperty* p : c->GetValueProps()) out.push_back({c, p});
    });
    return out;
}

std::vector<ChildGroup> CollectChildGroups(Object* obj) {
    std::vector<ChildGroup> out;
    if (!obj) return out;
    std::map<int, std::string> labels;
    if (Zyn::DynGroupObject* d = Zyn::ZYN_Cast<Zyn::DynGroupObject, Object>(obj)) {
        for (unsigned i = 0; i < d->GetGroupCount(); ++i) labels.emplace(int(i), std::string());
    }
    std::set<Class*> seen;
    WalkClasses(obj->GetClass(), seen, 0, [&labels](Class* c) {
        for (Zyn::GroupProperty* g : c->GetGroupProps()) {
            // The derived class's label wins over a base's for the same group.
            if (g->GetGroup() < 0) continue;
            auto it = labels.find(g->GetGroup());
            if (it == labels.end())
                labels.emplace(g->GetGroup(), g->GetName());
            else if (it->second.empty())
                it->second = g->GetName();
        }
    });
    for (const auto& entry : labels) {
        std::list<Object*> children;
        obj->EnumObjects(entry.first, children);
        if (children.empty()) continue;
        ChildGroup g{entry.first, entry.second, {}};
        for (Object* child : children)
            if (child) g.children.push_back(child);
        if (!g.children.empty()) out.push_back(std::move(g));
    }
    return out;
}

std::string TypeName(ValueProperty* property) {
    const std::string record = property->GetClass()->GetClassName();
    const std::string prefix = "TypedValueProperty<";
    if (record.compare(0, prefix.size(), prefix) != 0 || record.back() != '>') return record;
    const std::string inner = record.substr(prefix.size(), record.size() - prefix.size() - 1);
    if (inner == "ZynString") return "string";
    if (inner == "void*") {
        Class* target = property->GetValueClass();
        return target ? std::string(target->GetClassName()) + "*" : "pointer";
    }
    return inner;
}

std::string ValueText(Object* obj, ValueProperty* property) {
    char buffer[64];
    if (auto* p = Typed<Zyn::Color>(property)) {
        std::snprintf(buffer, sizeof buffer, "0x%08" PRIX32, Zyn::u32(p->Get(obj)));
        return buffer;
    }
    if (auto* p = Typed<Zyn::s16>(property)) return std::to_string(p->Get(obj));
    if (auto* p = Typed<Zyn::s8>(property)) return std::to_string(p->Get(obj));
    if (auto* p = Typed<Zyn::Point2D<Zyn::s32>>(property)) {
        const Zyn::Point2D<Zyn::s32> v = p->Get(obj);
        return std::to_string(v.x) + ", " + std::to_string(v.y);
    }
    if (auto* p = Typed<Zyn::Point3D<Zyn::s32>>(property)) {
        const Zyn::Point3D<Zyn::s32> v = p->Get(obj);
        return std::to_string(v.x) + ", " + std::to_string(v.y) + ", " + std::to_string(v.z);
    }
    return property->GetValue(obj);
}

bool IsReadOnly(Object* obj, ValueProperty* property) {
    return (obj->PropertyConfirmValueFlags(property->GetFlags(), property) & ValueProperty::kReadOnly) != 0;
}

std::string PathComponent(Object* parent, Object* child) {
    std::string component = Escape(child->GetName());
    if (!parent) return component;
    const std::vector<Object*> same = NamedChildren(parent, child->GetName());
    if (same.size() > 1) {
        for (size_t i = 0; i < same.size(); ++i)
            if (same[i] == child) component += "[" + std::to_string(i + 1) + "]";
    }
    return component;
}

Object* ResolvePath(Object* root, const std::string& path, std::string& error) {
    const std::vector<std::string> parts = SplitPath(path);
    if (!root || parts.empty()) {
        error = "empty object path";
        return nullptr;
    }
    if (parts[0] != "." && parts[0] != root->GetName()) {
        error = "object path \"" + path + "\" must start with the root object's name \"" + root->GetName() +
                "\" or with \".\"";
        return nullptr;
    }
    Object* cur = root;
    std::string walked = Escape(root->GetName());
    for (size_t i = 1; i < parts.size(); ++i) {
        const std::string& part = parts[i];
        std::vector<Object*> matches = NamedChildren(cur, part);
        Object* next = nullptr;
        if (matches.size() == 1) {
            next = matches[0];
        } else if (matches.size() > 1) {
            error = std::to_string(matches.size()) + " children of \"" + walked + "\" are named \"" + part +
                    "\"; write " + Escape(part) + "[1] to " + Escape(part) + "[" +
                    std::to_string(matches.size()) + "]";
            return nullptr;
        } else {
            // "name[n]": the n-th of several siblings of one name.
            const size_t open = part.rfind('[');
            long long n = 0;
            if (open != std::string::npos && open > 0 && part.back() == ']' &&
                ParseInteger(part.substr(open + 1, part.size() - open - 2), 1, 1 << 30, n)) {
                matches = NamedChildren(cur, part.substr(0, open));
                if (size_t(n) <= matches.size()) next = matches[size_t(n) - 1];
            }
        }
        if (!next) {
            error = "\"" + walked + "\" has no child named \"" + part + "\"";
            const std::vector<Object*> children = Children(cur);
            if (children.empty()) {
                error += " (it has no children)";
            } else {
                error += " (its children: ";
                for (size_t c = 0; c < children.size(); ++c)
                    error += (c ? ", " : "") + PathComponent(cur, children[c]);
                error += ")";
            }
            return nullptr;
        }
        walked += "/" + PathComponent(cur, next);
        cur = next;
    }
    return cur;
}

bool SetPropertyFromText(Object* obj, ValueProperty* property, const std::string& text,
                         const PointerResolver& resolve, std::string& error) {
    const std::string type = TypeName(property);
    const std::string label = "\"" + property->GetName() + "\"";
    long long i = 0;
    if (type == "s32" || type == "u32" || type == "u16" || type == "u8") {
        long long lo = 0, hi = 0;
        if (type == "s32") {
            lo = INT32_MIN;
            hi = INT32_MAX;
        } else if (type == "u32") {
            // Negative values stand for the same bits, as the property prints them.
            lo = INT32_MIN;
            hi = UINT32_MAX;
        } else {
            hi = type == "u16" ? 65535 : 255;
        }
        if (!ParseInteger(text, lo, hi, i)) {
            error = "\"" + text + "\" is not a whole number from " + std::to_string(lo) + " to " +
                    std::to_string(hi) + " (" + label + " is " + type + ")";
            return false;
        }
        // The property reads text with atoi: hand it the 32-bit signed form.
        return SetText(obj, property, std::to_string(Zyn::s32(Zyn::u32(i))), error);
    }
    if (type == "bool") {
        bool b = false;
        if (!ParseBool(text, b)) {
            error =
                "\"" + text + "\" is not a truth value: use 1 or 0, true or false (" + label + " is bool)";
            return false;
        }
        return SetText(obj, property, b ? "1" : "0", error);
    }
    if (type == "f32") {
        float f = 0.0f;
        if (!ParseFloat(text, f)) {
            error = "\"" + text + "\" is not a finite number (" + label + " is f32)";
            return false;
        }
        return SetText(obj, property, Format("%.9g", f), error);
    }
    if (type == "Point2D_f32" || type == "Point3D_f32") {
        const size_t count = type == "Point2D_f32" ? 2 : 3;
        std::vector<float> v;
        if (!ParseFloats(text, count, v)) {
            error = "\"" + text + "\" is not " + std::to_string(count) +
                    " finite numbers separated by commas (" + label + " is " + type + ")";
            return false;
        }
        return SetText(
            obj, property,
            count == 2 ? Format("%.9g, %.9g", v[0], v[1]) : Format("%.9g, %.9g, %.9g", v[0], v[1], v[2]),
            error);
    }
    if (type == "string") {
        if (property->GetName() == "Name" && text.empty()) {
            error = "an object name cannot be empty: object streams refuse nameless objects";
            return false;
        }
        return SetText(obj, property, text, error);
    }
    if (auto* p = Typed<Zyn::Color>(property)) {
        Zyn::u32 argb = 0;
        if (!ParseColor(text, argb)) {
            error = "\"" + text + "\" is not a colour: use 0xAARRGGBB, #AARRGGBB or #RRGGBB (" + label +
                    " is Color)";
            return false;
        }
        Zyn::Color c(argb);
        if (p->Set(obj, c)) return true;
        error = label + " cannot be set on this object (it has no setter)";
        return false;
    }
    if (auto* p = Typed<void*>(property)) {
        Class* target = property->GetValueClass();
        if (!target) {
            error = label + " points at objects of no known class and cannot be set";
            return false;
        }
        Object* found = resolve ? resolve(target, text, error) : nullptr;
        if (!found) {
            if (error.empty())
                error = "no " + std::string(target->GetClassName()) + " named \"" + text + "\"";
            return false;
        }
        // The setter takes the pointer as the target class sees it.
        void* value = found->CastMeToClass(target);
        const bool ok = value && p->Set(obj, value);
        found->Release();
        if (!ok) error = label + " cannot be set on this object";
        return ok;
    }
    if (type == "s16" || type == "s8" || type == "Point2D_s32" || type == "Point3D_s32") {
        error = label + " is of type " + type + ", which has no text form to set it from";
        return false;
    }
    return SetText(obj, property, text, error);
}

}  // namespace ZynObj
