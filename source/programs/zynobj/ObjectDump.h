// Writes a loaded hierarchy as indented text or as JSON: every object with
// its class, name and path, every value property of its class and of its
// parent classes, and its children by group. An object linked from several
// parents is written in full once and referred to by path afterwards.
#pragma once

#include <string>

namespace Zyn {
class Object;
}

namespace ZynObj {

std::string DumpText(Zyn::Object* root);
/// One JSON document; strings are escaped, bytes that are not UTF-8 appear
/// as \u00XX.
std::string DumpJson(Zyn::Object* root);

/// s as a JSON string literal, quotes included.
std::string JsonString(const std::string& s);

}  // namespace ZynObj
