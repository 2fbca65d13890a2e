#include <zyn/core/Root.h>
#include <zyn/core/StringUtf8.h>

namespace Zyn {

// TODO(string table): placeholder until the string table lands.
void Root::SetLanguage(std::string language) { m_Language = std::move(language); }
int Root::ReadStringTable(const char*) { return -1; }
StringUtf8* Root::GetString(const char*) { return nullptr; }
bool Root::IsStringDefined(const char* name) const { return m_StringTable.count(name) != 0; }
void Root::ClearStringTable() {
    for (auto& entry : m_StringTable) delete entry.second;
    m_StringTable.clear();
}
StringUtf8& StringUtf8::var(int, ...) {
    static StringUtf8 s;
    return s;
}

}  // namespace Zyn
