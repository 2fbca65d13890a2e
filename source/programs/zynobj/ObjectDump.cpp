#include "ObjectDump.h"

#include <cstdio>
#include <map>
#include <vector>

#include <zyn/core/Class.h>
#include <zyn/core/Property.h>

#include "ObjectTree.h"

using Zyn::Class;
using Zyn::Object;

namespace ZynObj {

namespace {

/// Length of the UTF-8 sequence starting at s[i], or 0 when it is not one.
size_t Utf8Length(const std::string& s, size_t i) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    size_t n = 0;
    unsigned min = 0;
    unsigned cp = 0;
    if (c >= 0xC2 && c <= 0xDF) {
        n = 2;
        cp = c & 0x1F;
        min = 0x80;
    } else if (c >= 0xE0 && c <= 0xEF) {
        n = 3;
        cp = c & 0x0F;
        min = 0x800;
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4;
        cp = c & 0x07;
        min = 0x10000;
    } else {
        return 0;
    }
    if (i + n > s.size()) return 0;
    for (size_t k = 1; k < n; ++k) {
        const unsigned char t = static_cast<unsigned char>(s[i + k]);
        if ((t & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (t & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return n;
}

/// Control characters of a value as escapes, so that every property stays on its line.
std::string TextEscape(const std::string& s) {
    std::string out;
    for (unsigned char c : s) {
        if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c < 0x20 || c == 0x7F) {
            char buffer[8];
            std::snprintf(buffer, sizeof buffer, "\\x%02X", c);
            out += buffer;
        } else {
            out += char(c);
        }
    }
    return out;
}

std::string Quoted(const std::string& s) {
    std::string out = "\"";
    for (char c : TextEscape(s)) {
        if (c == '"') out += '\\';
        out += c;
    }
    return out + "\"";
}

/// The walk shared by both formats: paths, and the first path of every object seen.
class Walker {
public:
    virtual ~Walker() = default;

    void Walk(Object* root) {
        m_FirstPath.clear();
        Visit(root, PathComponent(nullptr, root), 0);
    }

protected:
    virtual void WriteObject(Object* obj, const std::string& path, int depth) = 0;
    virtual void WriteRepeat(Object* obj, const std::string& path, const std::string& first, int depth) = 0;

    void Visit(Object* obj, const std::string& path, int depth) {
        auto seen = m_FirstPath.find(obj);
        if (seen != m_FirstPath.end()) {
            WriteRepeat(obj, path, seen->second, depth);
            return;
        }
        m_FirstPath.emplace(obj, path);
        WriteObject(obj, path, depth);
    }

private:
    std::map<Object*, std::string> m_FirstPath;
};

class TextWriter : public Walker {
public:
    std::string m_Out;

protected:
    void Line(int depth, const std::string& text) {
        m_Out += std::string(size_t(depth) * 2, ' ') + text + "\n";
    }

    void Header(Object* obj, const std::string& path, int depth, const std::string& tail) {
        Line(depth, std::string(obj->GetClass()->GetClassName()) + " " + Quoted(obj->GetName()) +
                        "  (path: " + TextEscape(path) + ")" + tail);
    }

    void WriteObject(Object* obj, const std::string& path, int depth) override {
        Header(obj, path, depth, "");
        Class* section = nullptr;
        for (const PropertyEntry& e : CollectValueProperties(obj->GetClass())) {
            if (e.owner != section) {
                section = e.owner;
                Line(depth + 1, std::string("[") + section->GetClassName() + "]");
            }
            std::string line = e.property->GetName() + " = " + TextEscape(ValueText(obj, e.property));
            if (IsReadOnly(obj, e.property)) line += "  (read-only)";
            Line(depth + 2, line);
        }
        for (const ChildGroup& g : CollectChildGroups(obj)) {
            const std::string index = "group " + std::to_string(g.index);
            Line(depth + 1, (g.label.empty() ? index : g.label + " (" + index + ")") + ":");
            for (Object* child : g.children) Visit(child, path + "/" + PathComponent(obj, child), depth + 2);
        }
    }

    void WriteRepeat(Object* obj, const std::string& path, const std::string& first, int depth) override {
        Header(obj, path, depth, " -- the same object as " + TextEscape(first));
    }
};

class JsonWriter : public Walker {
public:
    std::string m_Out;

protected:
    std::string Pad(int depth) const { return std::string(size_t(depth) * 2, ' '); }

    void Head(Object* obj, const std::string& path, int depth) {
        m_Out += Pad(depth) + "{\n";
        m_Out += Pad(depth + 1) + "\"class\": " + JsonString(obj->GetClass()->GetClassName()) + ",\n";
        m_Out += Pad(depth + 1) + "\"name\": " + JsonString(obj->GetName()) + ",\n";
        m_Out += Pad(depth + 1) + "\"path\": " + JsonString(path);
    }

    void WriteObject(Object* obj, const std::string& path, int depth) override {
        Head(obj, path, depth);
        m_Out += ",\n" + Pad(depth + 1) + "\"properties\": [";
        const std::vector<PropertyEntry> props = CollectValueProperties(obj->GetClass());
        for (size_t i = 0; i < props.size(); ++i) {
            const PropertyEntry& e = props[i];
            m_Out += (i ? ",\n" : "\n") + Pad(depth + 2) +
                     "{\"class\": " + JsonString(e.owner->GetClassName()) +
                     ", \"label\": " + JsonString(e.property->GetName()) +
                     ", \"type\": " + JsonString(TypeName(e.property)) +
                     ", \"value\": " + JsonString(ValueText(obj, e.property)) +
                     ", \"readOnly\": " + (IsReadOnly(obj, e.property) ? "true" : "false") + "}";
        }
        m_Out += props.empty() ? "]" : "\n" + Pad(depth + 1) + "]";
        m_Out += ",\n" + Pad(depth + 1) + "\"groups\": [";
        const std::vector<ChildGroup> groups = CollectChildGroups(obj);
        for (size_t i = 0; i < groups.size(); ++i) {
            const ChildGroup& g = groups[i];
            m_Out += (i ? ",\n" : "\n") + Pad(depth + 2) + "{\n";
            m_Out += Pad(depth + 3) + "\"index\": " + std::to_string(g.index) + ",\n";
            m_Out +=
                Pad(depth + 3) + "\"label\": " + (g.label.empty() ? "null" : JsonString(g.label)) + ",\n";
            m_Out += Pad(depth + 3) + "\"children\": [\n";
            for (size_t c = 0; c < g.children.size(); ++c) {
                if (c) m_Out += ",\n";
                Visit(g.children[c], path + "/" + PathComponent(obj, g.children[c]), depth + 4);
            }
            m_Out += "\n" + Pad(depth + 3) + "]\n" + Pad(depth + 2) + "}";
        }
        m_Out += groups.empty() ? "]" : "\n" + Pad(depth + 1) + "]";
        m_Out += "\n" + Pad(depth) + "}";
    }

    void WriteRepeat(Object* obj, const std::string& path, const std::string& first, int depth) override {
        Head(obj, path, depth);
        m_Out += ",\n" + Pad(depth + 1) + "\"sameAs\": " + JsonString(first) + "\n" + Pad(depth) + "}";
    }
};

}  // namespace

std::string JsonString(const std::string& s) {
    std::string out = "\"";
    for (size_t i = 0; i < s.size();) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        char buffer[8];
        if (c == '"' || c == '\\') {
            out += '\\';
            out += char(c);
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c < 0x20 || c == 0x7F) {
            std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
            out += buffer;
        } else if (c >= 0x80) {
            const size_t n = Utf8Length(s, i);
            if (n == 0) {
                std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
                out += buffer;
            } else {
                out.append(s, i, n);
                i += n;
                continue;
            }
        } else {
            out += char(c);
        }
        ++i;
    }
    return out + "\"";
}

std::string DumpText(Object* root) {
    TextWriter w;
    if (root) w.Walk(root);
    return w.m_Out;
}

std::string DumpJson(Object* root) {
    JsonWriter w;
    if (root) w.Walk(root);
    return w.m_Out + "\n";
}

}  // namespace ZynObj
