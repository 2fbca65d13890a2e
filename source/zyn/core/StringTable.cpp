// Root's string table: `name = "text"` statements read from "<language>.utf8".
#include <memory>
#include <string>

#include <zyn/core/Root.h>
#include <zyn/core/StringUtf8.h>
#include <zyn/io/File.h>
#include <zyn/io/TextScan.h>

namespace Zyn {

namespace {

const size_t kLongName = 64;

bool EndsName(char c) { return c == '\0' || c == '=' || c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

}  // namespace

void Root::SetLanguage(std::string language) {
    m_Language = std::move(language);
    ClearStringTable();
    ReadStringTable((m_Language + ".utf8").c_str());
}

int Root::ReadStringTable(const char* fileName) {
    if (!fileName) return -1;
    std::unique_ptr<File> file(OpenFile(fileName, true));
    if (!file) return -1;
    const unsigned int size = file->GetFileSize();
    if (size == 0) return -1;
    std::string content(size, '\0');
    content.resize(file->Read(&content[0], size));
    file.reset();

    // Scanned as NUL-terminated text, like every text format of the framework.
    const char* p = content.c_str();
    if (content.compare(0, 3, "\xEF\xBB\xBF") == 0) p += 3;

    int count = 0;
    while (SkipWhiteSpaceAndComments(&p)) {
        const char* nameStart = p;
        while (!EndsName(*p)) ++p;
        if (p == nameStart) {
            LogSend(kLogWarning, "%s -> Bad file syntax. Statement must start with a string name.", fileName);
            break;
        }
        const std::string name(nameStart, p);
        if (name.size() > kLongName) {
            LogSend(kLogWarning,
                    "%s -> %s string name is over 64 characters long. Please consider using shorter names...",
                    fileName, name.c_str());
        }
        if (!SkipWhiteSpaceAndComments(&p)) break;
        if (*p != '=') {
            LogSend(kLogWarning, "%s -> Bad file syntax. Statement <%s> must be followed by a = sign (",
                    fileName, name.c_str());
            break;
        }
        ++p;
        if (!SkipWhiteSpaceAndComments(&p)) break;
        if (*p != '"') {
            LogSend(kLogWarning, "%s -> Bad file syntax. String definition <%s> must start with \"", fileName,
                    name.c_str());
            break;
        }
        ++p;

        StringUtf8 text;
        bool closed = false;
        while (*p != '\0') {
            const char c = *p;
            if (c == '"') {
                ++p;
                closed = true;
                break;
            }
            if (c == '\\' && (p[1] == 'n' || p[1] == 't')) {
                text += p[1] == 'n' ? '\n' : '\t';
                p += 2;
            } else if (c == '\r' || c == '\n') {
                // A line end continues the text on the next line: one blank
                // stands for the break and the indentation after it.
                text += ' ';
                ++p;
                SkipWhiteSpaceAndComments(&p);
            } else {
                // Any other backslash is an ordinary character.
                text += c;
                ++p;
            }
        }
        if (!closed) {
            LogSend(kLogError, "%s -> Bad file syntax. The file ends inside the text of string <%s>",
                    fileName, name.c_str());
            break;
        }
        // Texts go to the font renderer, which decodes them: keep them valid.
        if (text.ReplaceInvalidUtf8()) {
            LogSend(kLogWarning, "%s -> string <%s> is not valid UTF-8; invalid bytes were replaced",
                    fileName, name.c_str());
        }
        StringUtf8*& entry = m_StringTable[name];
        if (entry) {
            // Pointers handed out earlier must see the new text.
            entry->assign(text);
        } else {
            entry = new StringUtf8(std::move(text));
        }
        ++count;
    }
    return count;
}

StringUtf8* Root::GetString(const char* name) {
    const std::string key = name ? name : "";
    StringUtf8*& entry = m_StringTable[key];
    if (!entry) entry = new StringUtf8(("String not found:" + key).c_str());
    return entry;
}

bool Root::IsStringDefined(const char* name) const { return m_StringTable.count(name ? name : "") != 0; }

void Root::ClearStringTable() {
    for (auto& entry : m_StringTable) delete entry.second;
    m_StringTable.clear();
}

}  // namespace Zyn
