#include <gtest/gtest.h>

#include <map>
#include <string>

#include <zyn/core/Root.h>
#include <zyn/core/StringUtf8.h>
#include <zyn/io/Package.h>
#include <zyn/io/VectorFile.h>

#include "support/LogCapture.h"

using namespace Zyn;
using namespace ZynTest;

namespace {

/// Serves in-memory files by exact name.
class TextPackage : public Package {
public:
    TextPackage() : Package("texts") {}
    File* OpenFile(const char* name) override {
        auto it = m_Files.find(name);
        if (it == m_Files.end()) return nullptr;
        return new VectorFile(std::vector<unsigned char>(it->second.begin(), it->second.end()));
    }
    std::map<std::string, std::string> m_Files;
};

/// Mounts a TextPackage in front of the Root's packages; empties the table afterwards.
class StringTable : public ::testing::Test {
protected:
    void SetUp() override {
        m_pRoot = Singleton<Root>::Get();
        m_pPackage = new TextPackage;
        m_pRoot->InsertObject(m_pPackage, Root::kPackages, 0, nullptr);
        m_pRoot->ClearStringTable();
    }
    void TearDown() override {
        m_pRoot->ClearStringTable();
        m_pRoot->RemoveObject(m_pPackage, Root::kPackages);
    }
    /// Reads text as the file "t.utf8".
    int Read(const std::string& text) {
        m_pPackage->m_Files["t.utf8"] = text;
        return m_pRoot->ReadStringTable("t.utf8");
    }
    std::string Text(const char* name) { return *m_pRoot->GetString(name); }

    Root* m_pRoot = nullptr;
    TextPackage* m_pPackage = nullptr;
};

}  // namespace

TEST_F(StringTable, LaterStatementReplacesTheTextInTheSameObject) {
    EXPECT_EQ(Read("\xEF\xBB\xBF# greeting\ntitle = \"Hello\"\n"), 1);
    StringUtf8* title = m_pRoot->GetString("title");
    EXPECT_EQ(*title, "Hello");
    EXPECT_EQ(Read("\xEF\xBB\xBF# greeting\ntitle = \"Hello\"\ntitle=\"Bye\""), 2);
    EXPECT_EQ(m_pRoot->GetString("title"), title);
    EXPECT_EQ(*title, "Bye");
}

TEST_F(StringTable, LineEndsInsideATextBecomeOneBlank) {
    EXPECT_EQ(Read("a = \"Line one\n    two\"\n"
                   "b = \"Line one\r\n\t\ttwo\"\n"
                   "c = \"first\n   # a note\n   second\"\n"
                   "d=\"x\n\n\ny\""),
              4);
    EXPECT_EQ(Text("a"), "Line one two");
    EXPECT_EQ(Text("b"), "Line one two");
    EXPECT_EQ(Text("c"), "first second");
    EXPECT_EQ(Text("d"), "x y");
}

TEST_F(StringTable, EscapesAndOrdinaryBackslashes) {
    EXPECT_EQ(Read("nl = \"a\\nb\"\n"
                   "tail = \"end\\n\"\n"
                   "next = \"read\"\n"
                   "tab = \"x\\ty\"\n"
                   "q = \"\\q\"\n"
                   "odd#name = \"\"\n"),
              6);
    EXPECT_EQ(Text("nl"), "a\nb");
    EXPECT_EQ(Text("tail"), "end\n");
    EXPECT_EQ(Text("next"), "read");
    EXPECT_EQ(Text("tab"), "x\ty");
    EXPECT_EQ(Text("q"), "\\q");
    EXPECT_TRUE(m_pRoot->IsStringDefined("odd#name"));
    EXPECT_EQ(Text("odd#name"), "");

    // A backslash cannot escape the quote: the text ends there and the rest
    // is not a statement.
    ScopedLogCapture log;
    EXPECT_EQ(Read("s = \"say \\\"hi\" x"), 1);
    EXPECT_EQ(Text("s"), "say \\");
    EXPECT_TRUE(
        log->Contains(" W. t.utf8 -> Bad file syntax. Statement <hi\"> must be followed by a = sign ("));
}

TEST_F(StringTable, SyntaxErrorsStopTheParseAndKeepWhatWasRead) {
    ScopedLogCapture log;
    EXPECT_EQ(Read("ok = \"1\"\n= \"x\"\nlater = \"2\""), 1);
    EXPECT_TRUE(log->Contains(" W. t.utf8 -> Bad file syntax. Statement must start with a string name."));
    EXPECT_FALSE(m_pRoot->IsStringDefined("later"));

    EXPECT_EQ(Read("ok = \"1\"\nname \"x\""), 1);
    EXPECT_TRUE(
        log->Contains(" W. t.utf8 -> Bad file syntax. Statement <name> must be followed by a = sign ("));

    EXPECT_EQ(Read("ok = \"1\"\nname = x"), 1);
    EXPECT_TRUE(log->Contains(" W. t.utf8 -> Bad file syntax. String definition <name> must start with \""));

    EXPECT_EQ(Read("ok = \"1\"\nopen = \"never closed\n  more"), 1);
    EXPECT_TRUE(
        log->Contains(" E. t.utf8 -> Bad file syntax. The file ends inside the text of string <open>"));
    EXPECT_FALSE(m_pRoot->IsStringDefined("open"));
    EXPECT_EQ(Read("esc = \"ends in \\"), 0);
    EXPECT_EQ(log->Count("The file ends inside the text"), 2);

    // Ending after a name or after "=" is silent.
    const int messages = log->Count("t.utf8 -> ");
    EXPECT_EQ(Read("ok = \"1\"\nname  # comment"), 1);
    EXPECT_EQ(Read("ok = \"1\"\nname =  \n"), 1);
    EXPECT_EQ(Read("  # only a comment\n\t\n"), 0);
    EXPECT_EQ(log->Count("t.utf8 -> "), messages);
}

TEST_F(StringTable, LongNamesAreKeptWithAWarning) {
    ScopedLogCapture log;
    const std::string name(65, 'n');
    EXPECT_EQ(Read(name + "=\"long\""), 1);
    EXPECT_EQ(Text(name.c_str()), "long");
    EXPECT_TRUE(
        log->Contains(" W. t.utf8 -> " + name +
                      " string name is over 64 characters long. Please consider using shorter names..."));
    EXPECT_EQ(Read(std::string(64, 'm') + "=\"ok\""), 1);
    EXPECT_EQ(log->Count("over 64 characters"), 1);
}

TEST_F(StringTable, InvalidUtf8IsReplacedAndReported) {
    ScopedLogCapture log;
    EXPECT_EQ(Read("bad = \"\xFF ok \xC3\"\ngood = \"za\xC5\xBC\xC3\xB3\xC5\x82\xC4\x87\""), 2);
    EXPECT_EQ(Text("bad"), "\xEF\xBF\xBD ok \xEF\xBF\xBD");
    EXPECT_EQ(Text("good"), "za\xC5\xBC\xC3\xB3\xC5\x82\xC4\x87");
    EXPECT_EQ(log->Count(" W. t.utf8 -> string <bad> is not valid UTF-8; invalid bytes were replaced"), 1);
    EXPECT_EQ(log->Count("is not valid UTF-8"), 1);
}

TEST_F(StringTable, UnknownNamesGetAPlaceholderEntry) {
    EXPECT_FALSE(m_pRoot->IsStringDefined("x"));
    StringUtf8* s = m_pRoot->GetString("x");
    EXPECT_EQ(*s, "String not found:x");
    EXPECT_TRUE(m_pRoot->IsStringDefined("x"));
    EXPECT_EQ(m_pRoot->GetString("x"), s);
    // A later definition fills the same object.
    EXPECT_EQ(Read("x = \"found\""), 1);
    EXPECT_EQ(*s, "found");
}

TEST_F(StringTable, SetLanguageReplacesTheWholeTable) {
    ScopedLogCapture log;
    m_pPackage->m_Files["polish.utf8"] = "hello = \"Cze\xC5\x9B\xC4\x87\"";
    m_pPackage->m_Files["empty.utf8"] = "";
    EXPECT_EQ(Read("stale = \"old\""), 1);
    m_pRoot->SetLanguage("polish");
    EXPECT_EQ(m_pRoot->GetLanguage(), "polish");
    EXPECT_FALSE(m_pRoot->IsStringDefined("stale"));
    EXPECT_EQ(Text("hello"), "Cze\xC5\x9B\xC4\x87");

    m_pRoot->SetLanguage("martian");
    EXPECT_EQ(m_pRoot->GetLanguage(), "martian");
    EXPECT_FALSE(m_pRoot->IsStringDefined("hello"));
    EXPECT_TRUE(log->Contains(" W. Zyn::Root::OpenFile -> Could not open file martian.utf8 in any package"));
    EXPECT_EQ(m_pRoot->ReadStringTable("martian.utf8"), -1);
    EXPECT_EQ(m_pRoot->ReadStringTable("empty.utf8"), -1);
}

TEST(StringUtf8Var, SubstitutesNumberedArguments) {
    StringUtf8 two("\\1 \\2");
    EXPECT_EQ(two.var(2, "A", "B"), "A B");
    StringUtf8 adjacent("\\1\\2!");
    EXPECT_EQ(adjacent.var(2, "A", "B"), "AB!");
    StringUtf8 repeated("\\2\\1\\2");
    EXPECT_EQ(repeated.var(2, "x", "y"), "yxy");
    StringUtf8 other("a\\q\\0\\");
    EXPECT_EQ(other.var(1, "A"), "a\\q\\0\\");
    StringUtf8 utf("\xC5\xBC\\1\xC3\xB3");
    EXPECT_EQ(utf.var(1, "\xE2\x82\xAC"), "\xC5\xBC\xE2\x82\xAC\xC3\xB3");
    // The shared result is rebuilt from scratch by every call.
    StringUtf8& first = two.var(2, "1", "2");
    StringUtf8& second = adjacent.var(2, "3", "4");
    EXPECT_EQ(&first, &second);
    EXPECT_EQ(second, "34!");
}

TEST(StringUtf8Var, PlaceholdersWithoutAnArgumentStayAsWritten) {
    StringUtf8 text("\\1-\\3-\\9");
    EXPECT_EQ(text.var(1, "A"), "A-\\3-\\9");
    EXPECT_EQ(text.var(0), "\\1-\\3-\\9");
    EXPECT_EQ(text.var(-5), "\\1-\\3-\\9");
    EXPECT_EQ(text.var(2, "A", nullptr), "A-\\3-\\9");
    StringUtf8 bad("\xFF\\1\xC3");
    EXPECT_EQ(bad.var(1, "B"),
              "\xFF"
              "B\xC3");
}
