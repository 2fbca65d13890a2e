// Resource list parsing: the line format and its skipping rules, the class
// checks with their log lines, lists executed at once, and lists that are
// malformed, truncated, endless or far too long.
#include <gtest/gtest.h>

#include <list>
#include <memory>
#include <string>
#include <vector>

#include <zyn/graphics/Texture.h>
#include <zyn/io/MemoryFile.h>
#include <zyn/resources/ResListParser.h>

#include "LoaderTestResource.h"
#include "graphics/TextureTestUtil.h"
#include "support/LogCapture.h"

using namespace Zyn;
using namespace ZynTest;

namespace {

/// Owns the tasks a parse made.
struct TaskList {
    ~TaskList() {
        for (ITask* t : tasks) delete t;
    }
    std::vector<const ResourceTask*> Resource() const {
        std::vector<const ResourceTask*> out;
        for (ITask* t : tasks) out.push_back(static_cast<const ResourceTask*>(t));
        return out;
    }
    std::list<ITask*> tasks;
};

int Parse(const std::string& text, TaskList& out, ResourceAction action = RA_Load) {
    MemoryFile file(reinterpret_cast<const unsigned char*>(text.data()), unsigned(text.size()));
    return ResListParser::ParseResourceList(file, action, &out.tasks);
}

/// A stream that never ends and never yields a byte.
class StuckFile : public File {
public:
    unsigned int Read(void*, unsigned int) override { return 0; }
    unsigned int Seek(int, int) override { return 0; }
    bool IsEnd() override { return false; }
};

class ResListParserFixture : public ::testing::Test {
protected:
    void TearDown() override { EXPECT_EQ(LoaderTestResource::ms_Alive, 0) << "a test leaked resources"; }
    ScopedLoaderTestManager m_Manager;
    ScopedPackage m_Package;
};

}  // namespace

TEST_F(ResListParserFixture, KeepsOnlyLinesWithAKnownClassAndWarnsAfterTheLookup) {
    ScopedLogCapture log;
    TaskList list;
    EXPECT_EQ(Parse("Texture: a.jp2\nTexture\nabcd\nNope: x.jp2\n", list), 1);
    ASSERT_EQ(list.tasks.size(), 1u);
    const ResourceTask* task = list.Resource()[0];
    EXPECT_EQ(task->GetResourceName(), "a.jp2");
    EXPECT_EQ(task->GetResourceClass(), &Texture::sm_Class);
    EXPECT_EQ(task->GetAction(), RA_Load);

    const std::string lookup = "Class::FindClass -> Can't find class: Nope";
    const std::string ours = "ResListParser::ParseResourceList -> Can't find class <Nope>";
    int lookupAt = -1, oursAt = -1;
    for (size_t i = 0; i < log->m_Lines.size(); ++i) {
        if (lookupAt < 0 && log->m_Lines[i].find(lookup) != std::string::npos) lookupAt = int(i);
        if (oursAt < 0 && log->m_Lines[i].find(ours) != std::string::npos) oursAt = int(i);
    }
    ASSERT_GE(lookupAt, 0);
    ASSERT_GE(oursAt, 0);
    EXPECT_LT(lookupAt, oursAt);
    EXPECT_TRUE(log->m_Lines[size_t(oursAt)].find(" W. ") != std::string::npos);
}

TEST_F(ResListParserFixture, ClassWithoutManagerIsNotAResourceClass) {
    ScopedLogCapture log;
    TaskList list;
    EXPECT_EQ(Parse("SimpleEmitter: fx\\sparks.zyn\nLoaderTestResource: okay\n", list), 1);
    EXPECT_TRUE(log->Contains("ResListParser::ParseResourceList -> <SimpleEmitter> is not a resource class"));
    ASSERT_EQ(list.tasks.size(), 1u);
    EXPECT_EQ(list.Resource()[0]->GetResourceName(), "okay");
}

TEST_F(ResListParserFixture, SplitsEachLineByItsRules) {
    // Line ends of all three kinds; names taken verbatim.
    const std::string text =
        "LoaderTestResource: plain\n"
        "LoaderTestResource: trailing  \r\n"
        "LoaderTestResource:\tsep is any char\r"
        "LoaderTestResource:xname\n"
        "LoaderTestResource: a:b:c\n"
        "LoaderTestResource: abc\n"      // exactly four characters after the colon
        "LoaderTestResource: ab\n"       // three: skipped
        "ab: long enough name\n"         // class name of two characters: skipped
        " LoaderTestResource: spaced\n"  // the class name keeps its blank: unknown
        "no colon on this line at all\n"
        "a:bc\n"  // shorter than five
        "\n\n";
    ScopedLogCapture log;
    TaskList list;
    EXPECT_EQ(Parse(text, list), 6);
    std::vector<std::string> names;
    for (const ResourceTask* t : list.Resource()) names.push_back(t->GetResourceName());
    const std::vector<std::string> expected = {"plain", "trailing  ", "sep is any char",
                                               "name",  "a:b:c",      "abc"};
    EXPECT_EQ(names, expected);
    EXPECT_TRUE(log->Contains("Can't find class < LoaderTestResource>"));
    EXPECT_EQ(log->Count("ResListParser::ParseResourceList"), 1) << "other lines are skipped silently";
}

TEST_F(ResListParserFixture, EveryTaskCarriesTheGivenAction) {
    for (ResourceAction action : {RA_Load, RA_Release, RA_Reload}) {
        TaskList list;
        EXPECT_EQ(Parse("LoaderTestResource: one\nLoaderTestResource: two\n", list, action), 2);
        for (const ResourceTask* t : list.Resource()) EXPECT_EQ(t->GetAction(), action);
    }
}

TEST_F(ResListParserFixture, WithoutAListTheTasksRunAtOnce) {
    m_Package.Add("res/a", "alpha");
    m_Package.Add("res/b", "beta");
    const std::string load =
        "LoaderTestResource: res/a\nLoaderTestResource: res/b\nLoaderTestResource: res/none\n";
    MemoryFile loadFile(reinterpret_cast<const unsigned char*>(load.data()), unsigned(load.size()));
    // A task that fails still counts as made.
    EXPECT_EQ(ResListParser::ParseResourceList(loadFile, RA_Load, nullptr), 3);
    EXPECT_EQ(m_Manager->GetResourceCount(), 2u);
    Object* a = m_Manager->FindObject("res/a", nullptr, -3);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->GetRefCount(), 1) << "the load keeps exactly one reference";
    EXPECT_EQ(static_cast<LoaderTestResource*>(a)->m_Text, "alpha");

    const std::string release = "LoaderTestResource: res/a\nLoaderTestResource: res/b\n";
    MemoryFile releaseFile(reinterpret_cast<const unsigned char*>(release.data()), unsigned(release.size()));
    EXPECT_EQ(ResListParser::ParseResourceList(releaseFile, RA_Release, nullptr), 2);
    EXPECT_EQ(m_Manager->GetResourceCount(), 0u);
    EXPECT_EQ(LoaderTestResource::ms_Alive, 0);
}

TEST_F(ResListParserFixture, LongLinesAreCutAfter255Characters) {
    // The first 255 characters form one line; the rest is read as the next.
    const std::string name(300, 'n');
    const std::string junk(255, '-');
    TaskList list;
    EXPECT_EQ(Parse("LoaderTestResource: " + name + "\n" + junk + "LoaderTestResource: tail\n", list), 2);
    const std::vector<const ResourceTask*> tasks = list.Resource();
    ASSERT_EQ(tasks.size(), 2u);
    EXPECT_EQ(tasks[0]->GetResourceName(), std::string(255 - 20, 'n'));
    EXPECT_EQ(tasks[1]->GetResourceName(), "tail");
}

TEST_F(ResListParserFixture, TruncatedListsKeepWhatIsWhole) {
    TaskList noLineEnd;
    EXPECT_EQ(Parse("LoaderTestResource: a.tga\nLoaderTestResource: b.tga", noLineEnd), 2);
    ASSERT_EQ(noLineEnd.tasks.size(), 2u);
    EXPECT_EQ(noLineEnd.Resource()[1]->GetResourceName(), "b.tga");

    TaskList cutInClassName;
    EXPECT_EQ(Parse("LoaderTestResource: a.tga\nLoaderTes", cutInClassName), 1);

    TaskList cutInName;
    EXPECT_EQ(Parse("LoaderTestResource: a.tga\nLoaderTestResource: b", cutInName), 1);

    TaskList empty;
    EXPECT_EQ(Parse("", empty), 0);
}

TEST_F(ResListParserFixture, NulBytesEndTheLineText) {
    const std::string text("LoaderTestResource: abcd\0efgh\nLoaderTestResource: ab\0cdefgh\n", 61);
    TaskList list;
    EXPECT_EQ(Parse(text, list), 1);
    ASSERT_EQ(list.tasks.size(), 1u);
    EXPECT_EQ(list.Resource()[0]->GetResourceName(), "abcd");
}

TEST_F(ResListParserFixture, GarbageYieldsOnlyWellFormedTasks) {
    // Deterministic noise rich in colons, line ends, NULs and known class names.
    std::string text;
    unsigned state = 12345;
    const char* const pieces[] = {"LoaderTestResource", "Texture", ":", " ", "\n", "\r"};
    for (int i = 0; i < 40000; ++i) {
        state = state * 1103515245u + 12345u;
        const unsigned r = (state >> 16) & 0x7FFF;
        if (r % 5 == 0)
            text += pieces[(r / 5) % 6];
        else if (r % 5 == 1)
            text.push_back('\0');
        else
            text.push_back(char(r & 0xFF));
    }
    TaskList list;
    const int made = Parse(text, list);
    EXPECT_EQ(size_t(made), list.tasks.size());
    EXPECT_GT(made, 0) << "the noise holds some valid lines";
    for (const ResourceTask* t : list.Resource()) {
        EXPECT_TRUE(t->GetResourceClass() == &LoaderTestResource::sm_Class ||
                    t->GetResourceClass() == &Texture::sm_Class);
        EXPECT_GE(t->GetResourceName().size(), 3u);
        EXPECT_LE(t->GetResourceName().size(), 255u - 3u - 2u);
        EXPECT_EQ(t->GetResourceName().find_first_of(std::string("\r\n\0", 3)), std::string::npos);
    }
}

TEST_F(ResListParserFixture, AnEndlessStreamIsLeft) {
    StuckFile file;
    TaskList list;
    EXPECT_EQ(ResListParser::ParseResourceList(file, RA_Load, &list.tasks), 0);
}

TEST_F(ResListParserFixture, AHugeListStopsAtTheTaskLimit) {
    std::string text;
    const int lines = ResListParser::kMaxTasksPerList + 1000;
    text.reserve(size_t(lines) * 28);
    for (int i = 0; i < lines; ++i) text += "LoaderTestResource: res" + std::to_string(i) + "\n";
    ScopedLogCapture log;
    TaskList list;
    EXPECT_EQ(Parse(text, list), ResListParser::kMaxTasksPerList);
    EXPECT_EQ(list.tasks.size(), size_t(ResListParser::kMaxTasksPerList));
    EXPECT_EQ(list.Resource().back()->GetResourceName(),
              "res" + std::to_string(ResListParser::kMaxTasksPerList - 1));
    EXPECT_EQ(log->Count("resources listed, the rest is ignored"), 1);
}
