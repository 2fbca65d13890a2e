// zynobj end to end: the tool is run on streams written by the framework in
// this process, and what it prints and writes is checked here.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <list>
#include <set>

#include <screensaver/OrvSettings.h>
#include <zyn/core/BasicSerializator.h>
#include <zyn/core/Property.h>
#include <zyn/io/PacPackage.h>
#include <zyn/io/VectorFile.h>
#include <zyn/particles/ParticleEffect.h>
#include <zyn/particles/ParticleEffectInstance.h>
#include <zyn/particles/ParticleEmitter.h>

#include "programs/support/ProgramTestUtil.h"

using namespace ZynTest;

namespace {

/// (class, property) pairs of cls and its parent records, the class's own first, depth first.
void ExpectedProperties(Zyn::Class* cls, std::set<Zyn::Class*>& seen,
                        std::vector<std::pair<Zyn::Class*, Zyn::ValueProperty*>>& out) {
    if (!seen.insert(cls).second) return;
    for (Zyn::ValueProperty* p : cls->GetValueProps()) out.emplace_back(cls, p);
    std::list<Zyn::Class*> parents;
    cls->EnumParentClasses(parents);
    for (Zyn::Class* parent : parents) ExpectedProperties(parent, seen, out);
}

/// Every object of a parsed dump by its path.
void IndexByPath(const Json& obj, std::map<std::string, const Json*>& out) {
    out[obj.Str("path")] = &obj;
    if (const Json* groups = obj.Get("groups"))
        for (const Json& g : groups->items)
            if (const Json* children = g.Get("children"))
                for (const Json& child : children->items) IndexByPath(child, out);
}

std::string ReplaceLine(std::string text, const std::string& from, const std::string& to) {
    const size_t at = text.find(from);
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

class ZynobjFixture : public ::testing::Test {
protected:
    void SetUp() override {
        m_Effect.Reset(MakeEffect("fx\\glow.tga"));
        ASSERT_TRUE(WriteStream(m_Effect.Get(), m_Dir / "effect.zyn"));
        m_EffectBytes = ReadBytes(m_Dir / "effect.zyn");
    }
    RunResult Zynobj(const std::vector<std::string>& args) { return RunProgram(ZYNOBJ_PATH, m_Dir, args); }
    Zyn::Object* Child(Zyn::Object* parent, const char* name) {
        return parent->FindObject(name, nullptr, -3);
    }

    TempDir m_Dir;
    Zyn::Ref<Zyn::Object> m_Effect;
    Bytes m_EffectBytes;
};

}  // namespace

TEST_F(ZynobjFixture, JsonDumpListsEveryPropertyOfEveryClassOfEveryObject) {
    RunResult r = Zynobj({"dump", "--json", "effect.zyn"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    Json doc;
    std::string error;
    ASSERT_TRUE(ParseJson(r.out, doc, error)) << error << "\n" << r.out;
    std::map<std::string, const Json*> byPath;
    IndexByPath(doc, byPath);

    Zyn::Object* spray = Child(m_Effect.Get(), "spray");
    const std::vector<std::pair<std::string, Zyn::Object*>> objects = {
        {"effect", m_Effect.Get()},
        {"effect/spray", spray},
        {"effect/spray/pull", Child(spray, "pull")},
        {"effect/sparks", Child(m_Effect.Get(), "sparks")},
    };
    EXPECT_EQ(byPath.size(), objects.size());
    for (const auto& o : objects) {
        SCOPED_TRACE(o.first);
        ASSERT_TRUE(byPath.count(o.first));
        const Json& j = *byPath[o.first];
        EXPECT_EQ(j.Str("class"), o.second->GetClass()->GetClassName());
        EXPECT_EQ(j.Str("name"), o.second->GetName());
        std::set<Zyn::Class*> seen;
        std::vector<std::pair<Zyn::Class*, Zyn::ValueProperty*>> expected;
        ExpectedProperties(o.second->GetClass(), seen, expected);
        const Json* props = j.Get("properties");
        ASSERT_NE(props, nullptr);
        ASSERT_EQ(props->items.size(), expected.size());
        for (size_t i = 0; i < expected.size(); ++i) {
            const Json& p = props->items[i];
            const std::string label = expected[i].second->GetName();
            EXPECT_EQ(p.Str("class"), expected[i].first->GetClassName());
            EXPECT_EQ(p.Str("label"), label);
            // The counts belong to this process's objects, not to the file.
            if (label != "Reference count" && label != "Parent Count") {
                EXPECT_EQ(p.Str("value"), expected[i].second->GetValue(o.second)) << label;
            }
            ASSERT_NE(p.Get("readOnly"), nullptr);
            EXPECT_EQ(p.Get("readOnly")->boolean, (expected[i].second->GetFlags() & 1) != 0) << label;
        }
    }
    // Labels of group properties where the class has them, indices elsewhere.
    const Json& root = *byPath["effect"];
    ASSERT_EQ(root.Get("groups")->items.size(), 1u);
    EXPECT_EQ(root.Get("groups")->items[0].Str("label"), "Emitters");
    const Json& sprayGroup = byPath["effect/spray"]->Get("groups")->items.at(0);
    EXPECT_EQ(sprayGroup.Get("index")->number, 0.0);
    EXPECT_EQ(sprayGroup.Str("label"), "Affectors");
}

TEST_F(ZynobjFixture, TextDumpIndentsObjectsClassesAndGroups) {
    RunResult r = Zynobj({"dump", "effect.zyn"});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string& t = r.out;
    EXPECT_EQ(
        t.rfind("ParticleEffect \"effect\"  (path: effect)\n  [ParticleEffect]\n    Effect Time = 2.000\n",
                0),
        0u)
        << t;
    EXPECT_NE(
        t.find(
            "  Emitters (group 0):\n    SprayEmitter \"spray\"  (path: effect/spray)\n      [SprayEmitter]\n"
            "        Emit Rate = 80.000\n"),
        std::string::npos)
        << t;
    // Without a pack the texture keeps its name.
    EXPECT_NE(t.find("        Texture = fx\\glow.tga (Texture)\n"), std::string::npos);
    EXPECT_NE(
        t.find(
            "      Affectors (group 0):\n        ParAffectorGravity \"pull\"  (path: effect/spray/pull)\n"),
        std::string::npos)
        << t;
    EXPECT_NE(t.find("          Class name = ParAffectorGravity  (read-only)\n"), std::string::npos);
    EXPECT_NE(t.find("SimpleEmitter \"sparks\"  (path: effect/sparks)"), std::string::npos);
}

TEST(ZynobjDump, ShowsThePropertiesOfInterfaces) {
    TempDir dir;
    Zyn::Ref<Zyn::Object> flame(Zyn::ParticleEffectInstance::StaticCreate("flame"));
    ASSERT_TRUE(WriteStream(flame.Get(), dir / "flame.obj"));
    RunResult r = RunProgram(ZYNOBJ_PATH, dir, {"dump", "flame.obj"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("  [IPositionable]\n    Position = 100.00, 100.00, 0.00\n"), std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("  [ParticleEffectInstance]\n    Playback Speed = 1.000\n"), std::string::npos);
}

TEST_F(ZynobjFixture, NamesAreEscapedInJsonAndTextAndTheirPathsWork) {
    const std::string odd = "a/b\"c\\\n\t\xC3\xA9\xFF";
    Child(m_Effect.Get(), "sparks")->SetName(odd);
    ASSERT_TRUE(WriteStream(m_Effect.Get(), m_Dir / "odd.zyn"));

    RunResult r = Zynobj({"dump", "--json", "odd.zyn"});
    ASSERT_EQ(r.status, 0) << r.err;
    Json doc;
    std::string error;
    ASSERT_TRUE(ParseJson(r.out, doc, error)) << error << "\n" << r.out;
    std::map<std::string, const Json*> byPath;
    IndexByPath(doc, byPath);
    // The byte that is no UTF-8 comes back as U+00FF; the rest exactly.
    const std::string decoded = "a/b\"c\\\n\t\xC3\xA9\xC3\xBF";
    const std::string path = "effect/a\\/b\"c\\\n\t\xC3\xA9\xC3\xBF";
    ASSERT_TRUE(byPath.count(path)) << r.out;
    EXPECT_EQ(byPath[path]->Str("name"), decoded);

    r = Zynobj({"dump", "odd.zyn"});
    ASSERT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("SimpleEmitter \"a/b\\\"c\\\\n\\t\xC3\xA9\xFF\"  (path: effect/a\\/b\"c\\\\n\\t"),
              std::string::npos)
        << r.out;

    // The printed path (with the real bytes) finds the object again.
    r = Zynobj({"set", "odd.zyn", "effect/a\\/b\"c\\\n\t\xC3\xA9\xFF", "Emit Rate", "7", "-o", "odd2.zyn"});
    EXPECT_EQ(r.status, 0) << r.err;
}

TEST_F(ZynobjFixture, SetChangesOneValueAndKeepsEverythingElse) {
    RunResult before = Zynobj({"dump", "effect.zyn"});
    ASSERT_EQ(before.status, 0);

    RunResult r = Zynobj({"set", "effect.zyn", "effect/spray", "Emit Rate", "50", "-o", "out.zyn"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "effect/spray: Emit Rate: 80.000 -> 50.000\n");
    EXPECT_EQ(ReadBytes(m_Dir / "effect.zyn"), m_EffectBytes);
    RunResult after = Zynobj({"dump", "out.zyn"});
    ASSERT_EQ(after.status, 0);
    EXPECT_EQ(after.out, ReplaceLine(before.out, "Emit Rate = 80.000", "Emit Rate = 50.000"));

    // Setting a value to what it is gives the same bytes: nothing is lost on the way.
    r = Zynobj({"set", "effect.zyn", ".", "Effect Time", "2", "-o", "same.zyn"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadBytes(m_Dir / "same.zyn"), m_EffectBytes);

    // In place, through a temporary file that does not stay behind.
    r = Zynobj({"set", "effect.zyn", "./sparks", "Gravity", "0, 98.5", "-o", "effect.zyn"});
    ASSERT_EQ(r.status, 0) << r.err;
    r = Zynobj({"set", "effect.zyn", "./spray/pull", "Accelerate", "-0.25", "-o", "effect.zyn"});
    ASSERT_EQ(r.status, 0) << r.err;
    r = Zynobj({"set", "effect.zyn", "effect/spray", "Texture", "fx\\spark.tga", "--output=effect.zyn"});
    ASSERT_EQ(r.status, 0) << r.err;
    r = Zynobj({"set", "effect.zyn", ".", "Name", "burst", "-o", "effect.zyn"});
    ASSERT_EQ(r.status, 0) << r.err;
    std::set<std::string> files;
    for (const auto& e : std::filesystem::directory_iterator(m_Dir.Path()))
        files.insert(e.path().filename().string());
    EXPECT_EQ(files, (std::set<std::string>{".stderr", "effect.zyn", "out.zyn", "same.zyn"}));

    after = Zynobj({"dump", "effect.zyn"});
    ASSERT_EQ(after.status, 0) << after.err;
    EXPECT_NE(after.out.find("ParticleEffect \"burst\"  (path: burst)"), std::string::npos) << after.out;
    EXPECT_NE(after.out.find("        Gravity = 0.00, 98.50\n"), std::string::npos);
    EXPECT_NE(after.out.find("        Texture = fx\\spark.tga (Texture)\n"), std::string::npos);
    EXPECT_NE(after.out.find("Accelerate = -0.250\n"), std::string::npos);
}

TEST_F(ZynobjFixture, RefusesBadRequestsWithClearMessagesAndWritesNothing) {
    struct Case {
        std::vector<std::string> args;
        int status;
        const char* message;
    };
    const std::vector<Case> cases = {
        {{}, 2, "no command given"},
        {{"show"}, 2, "unknown command show"},
        {{"dump"}, 2, "dump needs exactly one FILE"},
        {{"dump", "--bogus", "effect.zyn"}, 2, "unknown option --bogus"},
        {{"set", "effect.zyn", ".", "Loops"}, 2, "set needs FILE, OBJECT-PATH, LABEL and VALUE"},
        {{"set", "effect.zyn", ".", "Loops", "3"},
         2,
         "set needs -o OUT (give -o FILE to change FILE in place)"},
        {{"dump", "missing.zyn"}, 1, "cannot read missing.zyn: No such file or directory"},
        {{"set", "effect.zyn", "effect/nope", "Loops", "3", "-o", "o.zyn"},
         1,
         "effect.zyn: \"effect\" has no child named \"nope\" (its children: spray, sparks)"},
        {{"set", "effect.zyn", "effect/spray/pull/x", "Loops", "3", "-o", "o.zyn"},
         1,
         "\"effect/spray/pull\" has no child named \"x\" (it has no children)"},
        {{"set", "effect.zyn", "fx/spray", "Loops", "3", "-o", "o.zyn"},
         1,
         "object path \"fx/spray\" must start with the root object's name \"effect\" or with \".\""},
        {{"set", "effect.zyn", "./spray", "Emit rate", "3", "-o", "o.zyn"},
         1,
         "SprayEmitter \"spray\" has no property \"Emit rate\"; did you mean \"Emit Rate\"?"},
        {{"set", "effect.zyn", "./spray", "Emit Rate", "fast", "-o", "o.zyn"},
         1,
         "\"fast\" is not a finite number (\"Emit Rate\" is f32)"},
        {{"set", "effect.zyn", "./spray", "Emit Rate", "1e99", "-o", "o.zyn"}, 1, "is not a finite number"},
        {{"set", "effect.zyn", "./spray", "Sprite Mode", "256", "-o", "o.zyn"},
         1,
         "\"256\" is not a whole number from 0 to 255 (\"Sprite Mode\" is u8)"},
        {{"set", "effect.zyn", "./spray", "Sprite ID Max", "-1", "-o", "o.zyn"}, 1, "from 0 to 65535"},
        {{"set", "effect.zyn", ".", "Loops", "1.5", "-o", "o.zyn"}, 1, "is not a whole number"},
        {{"set", "effect.zyn", ".", "Def. Auto rotate", "maybe", "-o", "o.zyn"}, 1, "is not a truth value"},
        {{"set", "effect.zyn", "./sparks", "Gravity", "5", "-o", "o.zyn"},
         1,
         "\"5\" is not 2 finite numbers separated by commas (\"Gravity\" is Point2D_f32)"},
        {{"set", "effect.zyn", ".", "Name", "", "-o", "o.zyn"}, 1, "an object name cannot be empty"},
        {{"set", "effect.zyn", ".", "Class name", "X", "-o", "o.zyn"},
         1,
         "\"Class name\" of ParticleEffect \"effect\" is read-only (use --force to change it anyway)"},
        {{"set", "--force", "effect.zyn", ".", "Class name", "X", "-o", "o.zyn"},
         1,
         "\"Class name\" cannot be set on this object (it has no setter)"},
        {{"set", "--force", "effect.zyn", ".", "Reference count", "0", "-o", "o.zyn"},
         1,
         "\"Reference count\" counts live references; it is not stored in the file and cannot be set"},
        {{"set", "effect.zyn", ".", "Loops", "3", "-o", "nofolder/o.zyn"}, 1, "cannot create a file beside"},
        {{"dump", "--pack", "missing.pac", "effect.zyn"}, 1, "cannot open pack missing.pac: no such file"},
        {{"dump", "--data", "effect.zyn", "effect.zyn"}, 1, "cannot use effect.zyn as a data folder"},
    };
    for (const Case& c : cases) {
        std::string joined;
        for (const std::string& a : c.args) joined += a + " ";
        SCOPED_TRACE(joined);
        RunResult r = Zynobj(c.args);
        EXPECT_EQ(r.status, c.status);
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    }
    EXPECT_FALSE(std::filesystem::exists(m_Dir / "o.zyn"));
    EXPECT_EQ(ReadBytes(m_Dir / "effect.zyn"), m_EffectBytes);
}

TEST_F(ZynobjFixture, DamagedFilesFailCleanly) {
    // Cut anywhere: inside the header, inside an emitter's data, between children.
    for (size_t cut : {size_t(2), size_t(9), size_t(40), m_EffectBytes.size() / 2, m_EffectBytes.size() - 9,
                       m_EffectBytes.size() - 1}) {
        SCOPED_TRACE(cut);
        WriteBytes(m_Dir / "cut.zyn", Bytes(m_EffectBytes.begin(), m_EffectBytes.begin() + long(cut)));
        RunResult r = Zynobj({"dump", "cut.zyn"});
        EXPECT_EQ(r.status, 1);
        EXPECT_TRUE(r.err.find("zynobj: cut.zyn is damaged") != std::string::npos ||
                    r.err.find("zynobj: cut.zyn is not an object stream") != std::string::npos)
            << r.err;
        r = Zynobj({"set", "cut.zyn", ".", "Loops", "1", "-o", "fixed.zyn"});
        EXPECT_EQ(r.status, 1);
    }
    EXPECT_FALSE(std::filesystem::exists(m_Dir / "fixed.zyn"));

    WriteBytes(m_Dir / "noise.zyn", Pattern(500, 3));
    RunResult r = Zynobj({"dump", "noise.zyn"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("noise.zyn is not an object stream: it does not start with a class name"),
              std::string::npos)
        << r.err;

    // Same length as "ParticleEffect", so only the name changes.
    Bytes unknown = m_EffectBytes;
    const std::string other = "NoSuchClassXYZ";
    std::copy(other.begin(), other.end(), unknown.begin() + 4);
    WriteBytes(m_Dir / "unknown.zyn", unknown);
    r = Zynobj({"dump", "unknown.zyn"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("unknown.zyn starts with class \"NoSuchClassXYZ\", which is not a class"),
              std::string::npos)
        << r.err;

    // A nested class name damaged: the root is fine, a child is not.
    Bytes child = m_EffectBytes;
    const std::string spray = "SprayEmitter";
    auto at = std::search(child.begin(), child.end(), spray.begin(), spray.end());
    ASSERT_NE(at, child.end());
    *at = 'X';
    WriteBytes(m_Dir / "child.zyn", child);
    r = Zynobj({"dump", "child.zyn"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("child.zyn is damaged: its objects cannot be read"), std::string::npos) << r.err;

    // Bytes after the objects: shown, reported, and saved only on request.
    Bytes tail = m_EffectBytes;
    tail.insert(tail.end(), {'j', 'u', 'n', 'k'});
    WriteBytes(m_Dir / "tail.zyn", tail);
    r = Zynobj({"dump", "tail.zyn"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("SprayEmitter \"spray\""), std::string::npos);
    EXPECT_NE(r.err.find("tail.zyn is damaged: 4 bytes after its objects were not read"), std::string::npos);
    r = Zynobj({"set", "tail.zyn", ".", "Loops", "1", "-o", "fixed.zyn"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("tail.zyn was not read cleanly (0 errors, 4 unread bytes at its end)"),
              std::string::npos);
    r = Zynobj({"set", "--force", "tail.zyn", ".", "Loops", "1", "-o", "fixed.zyn"});
    EXPECT_EQ(r.status, 0) << r.err;

    std::filesystem::create_directory(m_Dir / "folder.zyn");
    r = Zynobj({"dump", "folder.zyn"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("cannot read folder.zyn: not a regular file"), std::string::npos) << r.err;
}

TEST_F(ZynobjFixture, TexturesAreLookedUpInMountedPacksAndFolders) {
    WriteBytes(m_Dir / "art/fx/glow.tga", GlowTga());
    WriteText(m_Dir / "readme.txt", "not a texture");
    ASSERT_TRUE(Zyn::PacPackage::CreatePacPackage(
        std::vector<Zyn::PacPackage::Source>{{"fx\\glow.tga", m_Dir / "art/fx/glow.tga"}},
        (m_Dir / "art.pac").c_str()));
    ASSERT_TRUE(Zyn::PacPackage::CreatePacPackage(
        std::vector<Zyn::PacPackage::Source>{{"readme.txt", m_Dir / "readme.txt"}},
        (m_Dir / "other.pac").c_str()));

    RunResult r = Zynobj({"dump", "--pack", "art.pac", "effect.zyn"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Texture = fx\\glow.tga (Texture)"), std::string::npos);
    EXPECT_EQ(r.err.find("note:"), std::string::npos) << r.err;

    r = Zynobj({"dump", "--data", "art", "effect.zyn"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err.find("note:"), std::string::npos) << r.err;

    r = Zynobj({"dump", "--pack", "other.pac", "effect.zyn"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Texture = fx\\glow.tga (Texture)"), std::string::npos);
    EXPECT_NE(
        r.err.find("zynobj: note: no mounted package holds texture \"fx\\glow.tga\"; it is kept by name"),
        std::string::npos)
        << r.err;

    // With a pack mounted the texture is saved by its name all the same.
    r = Zynobj({"set", "--pack", "art.pac", "effect.zyn", ".", "Loops", "4", "-o", "packed.zyn"});
    ASSERT_EQ(r.status, 0) << r.err;
    r = Zynobj({"dump", "packed.zyn"});
    EXPECT_NE(r.out.find("Texture = fx\\glow.tga (Texture)"), std::string::npos);
    EXPECT_NE(r.out.find("    Loops = 4\n"), std::string::npos);
}

TEST(ZynobjSaveFiles, DumpsAndChangesTheSettingsObject) {
    TempDir dir;
    Zyn::Ref<Zyn::Object> settings(new OrvSettings("settings"));
    ASSERT_TRUE(WriteStream(settings.Get(), dir / "settings.setting"));

    RunResult r = RunProgram(ZYNOBJ_PATH, dir, {"dump", "settings.setting"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("OrvSettings \"settings\"  (path: settings)\n  [OrvSettings]\n    High Detail = 1\n"
                          "    Trophy Variant = 0\n",
                          0),
              0u)
        << r.out;

    r = RunProgram(ZYNOBJ_PATH, dir,
                   {"set", "settings.setting", "settings", "High Detail", "off", "-o", "settings.setting"});
    ASSERT_EQ(r.status, 0) << r.err;
    r = RunProgram(ZYNOBJ_PATH, dir,
                   {"set", "settings.setting", ".", "Trophy Variant", "true", "-o", "settings.setting"});
    ASSERT_EQ(r.status, 0) << r.err;

    // The framework reads what the tool wrote.
    Zyn::VectorFile file(ReadBytes(dir / "settings.setting"));
    Zyn::BasicSerializator serializator(&file);
    Zyn::Ref<Zyn::Object> loaded(serializator.LoadHierarchy());
    OrvSettings* read = Zyn::ZYN_Cast<OrvSettings, Zyn::Object>(loaded.Get());
    ASSERT_NE(read, nullptr);
    EXPECT_FALSE(read->m_bHighDetail);
    EXPECT_TRUE(read->m_bTrophyVariant);
    // Loading set the global detail level; later tests expect the default.
    Zyn::ParticleEmitter::ms_ParDetail = 1.0f;
}
