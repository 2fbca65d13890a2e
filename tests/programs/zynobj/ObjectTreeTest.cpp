// The object view behind zynobj, in process: paths of names in both
// directions, value text checked against each property type, and the dump
// of objects held twice.
#include <gtest/gtest.h>

#include <zyn/core/Property.h>
#include <zyn/graphics/Texture.h>
#include <zyn/particles/ParAffectorGravity.h>
#include <zyn/particles/ParticleEffect.h>
#include <zyn/particles/ParticleEffectInstance.h>
#include <zyn/particles/SimpleEmitter.h>
#include <zyn/particles/SprayEmitter.h>

#include "ObjectDump.h"
#include "ObjectTree.h"
#include "programs/support/ProgramTestUtil.h"

using Zyn::Object;
using ZynTest::Json;
using ZynTest::ParseJson;

namespace {

class ObjectPaths : public ::testing::Test {
protected:
    void SetUp() override {
        m_Root.Reset(new Zyn::ParticleEffect("fx"));
        m_pFirst = Add(new Zyn::SprayEmitter("spark"));
        m_pSecond = Add(new Zyn::SprayEmitter("spark"));
        m_pSlash = Add(new Zyn::SimpleEmitter("a/b"));
        m_pTrailing = Add(new Zyn::SimpleEmitter("x\\"));
        m_pLone = Add(new Zyn::SimpleEmitter("lone\\name"));
        m_pPull = new Zyn::ParAffectorGravity("pull");
        m_pSecond->InsertObject(m_pPull, 0, 1, nullptr);
    }
    Object* Add(Object* emitter) {
        m_Root->InsertObject(emitter, Zyn::ParticleEffect::kEmitters, 1, nullptr);
        return emitter;
    }
    std::string PathOf(Object* parent, Object* child) {
        return "fx/" + (parent == m_Root.Get() ? "" : ZynObj::PathComponent(m_Root.Get(), parent) + "/") +
               ZynObj::PathComponent(parent, child);
    }

    Zyn::Ref<Object> m_Root;
    Object *m_pFirst, *m_pSecond, *m_pSlash, *m_pTrailing, *m_pLone, *m_pPull;
};

}  // namespace

TEST_F(ObjectPaths, PrintedPathsLeadBackToTheirObjects) {
    Object* root = m_Root.Get();
    EXPECT_EQ(ZynObj::PathComponent(root, m_pFirst), "spark[1]");
    EXPECT_EQ(ZynObj::PathComponent(root, m_pSecond), "spark[2]");
    EXPECT_EQ(ZynObj::PathComponent(root, m_pSlash), "a\\/b");
    EXPECT_EQ(ZynObj::PathComponent(root, m_pTrailing), "x\\\\");
    EXPECT_EQ(ZynObj::PathComponent(root, m_pLone), "lone\\name");
    std::string error;
    for (Object* o : {m_pFirst, m_pSecond, m_pSlash, m_pTrailing, m_pLone}) {
        const std::string path = PathOf(root, o);
        EXPECT_EQ(ZynObj::ResolvePath(root, path, error), o) << path << ": " << error;
    }
    EXPECT_EQ(ZynObj::ResolvePath(root, PathOf(m_pSecond, m_pPull), error), m_pPull) << error;
    EXPECT_EQ(ZynObj::ResolvePath(root, "./spark[2]/pull", error), m_pPull) << error;
    EXPECT_EQ(ZynObj::ResolvePath(root, ".", error), root);
    EXPECT_EQ(ZynObj::ResolvePath(root, "fx/", error), root);
}

TEST_F(ObjectPaths, AmbiguousAndMissingNamesAreExplained) {
    std::string error;
    EXPECT_EQ(ZynObj::ResolvePath(m_Root.Get(), "./spark", error), nullptr);
    EXPECT_EQ(error, "2 children of \"fx\" are named \"spark\"; write spark[1] to spark[2]");
    EXPECT_EQ(ZynObj::ResolvePath(m_Root.Get(), "fx/spark[3]", error), nullptr);
    EXPECT_EQ(error,
              "\"fx\" has no child named \"spark[3]\" (its children: spark[1], spark[2], a\\/b, x\\\\, "
              "lone\\name)");
    EXPECT_EQ(ZynObj::ResolvePath(m_Root.Get(), "", error), nullptr);
    EXPECT_EQ(error, "empty object path");
    EXPECT_EQ(ZynObj::ResolvePath(m_Root.Get(), "spark", error), nullptr);
    EXPECT_NE(error.find("must start with the root object's name \"fx\""), std::string::npos);
}

namespace {

Zyn::ValueProperty* Prop(Object* obj, const char* label) {
    return Zyn::FindValueProperty(obj->GetClass(), label);
}

struct ValueCase {
    const char* label;
    const char* text;
    bool accepted;
    const char* reads;  // the value afterwards, when accepted
};

}  // namespace

TEST(ObjectValues, TextIsCheckedAgainstThePropertyType) {
    Zyn::Ref<Object> effect(new Zyn::ParticleEffect("fx"));
    Zyn::Ref<Object> spray(new Zyn::SprayEmitter("spray"));
    const std::vector<std::pair<Object*, ValueCase>> cases = {
        {spray.Get(), {"Blend Mode", "4294967295", true, "-1"}},
        {spray.Get(), {"Blend Mode", "-2", true, "-2"}},
        {spray.Get(), {"Blend Mode", "4294967296", false, ""}},
        {spray.Get(), {"Blend Mode", "0x10", false, ""}},
        {spray.Get(), {"Sprite ID Max", "65535", true, "65535"}},
        {spray.Get(), {"Sprite ID Max", "65536", false, ""}},
        {spray.Get(), {"Sprite Mode", " 3 ", true, "3"}},
        {effect.Get(), {"Loops", "-2147483648", true, "-2147483648"}},
        {effect.Get(), {"Loops", "2147483648", false, ""}},
        {effect.Get(), {"Def. Auto rotate", "YES", true, "1"}},
        {effect.Get(), {"Def. Auto rotate", "off", true, "0"}},
        {effect.Get(), {"Def. Auto rotate", "2", false, ""}},
        {spray.Get(), {"Emit Rate", " 1e-3 ", true, "0.001"}},
        {spray.Get(), {"Emit Rate", "nan", false, ""}},
        {spray.Get(), {"Emit Rate", "inf", false, ""}},
        {spray.Get(), {"Emit Rate", "", false, ""}},
        {spray.Get(), {"Emit Rate", "1,5", false, ""}},
        {spray.Get(), {"Gravity", "3,4", true, "3.00, 4.00"}},
        {spray.Get(), {"Gravity", "3", false, ""}},
        {spray.Get(), {"Gravity", "1, 2, 3", false, ""}},
        {spray.Get(), {"Gravity", "1, x", false, ""}},
        {effect.Get(), {"Name", "renamed", true, "renamed"}},
        {effect.Get(), {"Name", "", false, ""}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.second.label) + " <- \"" + c.second.text + "\"");
        Zyn::ValueProperty* p = Prop(c.first, c.second.label);
        ASSERT_NE(p, nullptr);
        const std::string before = p->GetValue(c.first);
        std::string error;
        EXPECT_EQ(ZynObj::SetPropertyFromText(c.first, p, c.second.text, nullptr, error), c.second.accepted)
            << error;
        if (c.second.accepted)
            EXPECT_EQ(p->GetValue(c.first), c.second.reads);
        else
            EXPECT_EQ(p->GetValue(c.first), before) << "a refused value must change nothing";
        EXPECT_EQ(error.empty(), c.second.accepted) << error;
    }
}

TEST(ObjectValues, InterfacePropertiesAndPointersAreSetThroughTheObject) {
    Zyn::Ref<Object> instance(Zyn::ParticleEffectInstance::StaticCreate("flame"));
    const std::vector<ZynObj::PropertyEntry> props = ZynObj::CollectValueProperties(instance->GetClass());
    ASSERT_FALSE(props.empty());
    EXPECT_EQ(props.back().owner, &Zyn::IPositionable::sm_Class);
    EXPECT_EQ(props.back().property->GetName(), "Position");
    std::string error;
    ASSERT_TRUE(
        ZynObj::SetPropertyFromText(instance.Get(), props.back().property, "1, 2.5, -3", nullptr, error));
    EXPECT_EQ(ZynObj::ValueText(instance.Get(), props.back().property), "1.00, 2.50, -3.00");
    EXPECT_FALSE(ZynObj::SetPropertyFromText(instance.Get(), props.back().property, "1, 2", nullptr, error));

    Zyn::Ref<Object> spray(new Zyn::SprayEmitter("spray"));
    Zyn::ValueProperty* texture = Prop(spray.Get(), "Texture");
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(ZynObj::TypeName(texture), "Texture*");
    std::string asked;
    auto resolve = [&asked](Zyn::Class* cls, const std::string& name, std::string& err) -> Object* {
        if (cls != &Zyn::Texture::sm_Class || name == "missing") {
            err = "no such texture";
            return nullptr;
        }
        asked = name;
        Object* t = new Zyn::Texture(name.c_str());
        t->AddRef();
        return t;
    };
    ASSERT_TRUE(ZynObj::SetPropertyFromText(spray.Get(), texture, "fx\\ring.tga", resolve, error)) << error;
    EXPECT_EQ(asked, "fx\\ring.tga");
    EXPECT_EQ(texture->GetValue(spray.Get()), "fx\\ring.tga (Texture)");
    EXPECT_FALSE(ZynObj::SetPropertyFromText(spray.Get(), texture, "missing", resolve, error));
    EXPECT_EQ(error, "no such texture");
    EXPECT_EQ(texture->GetValue(spray.Get()), "fx\\ring.tga (Texture)");
}

namespace {

/// Two groups without group properties, so that they are shown by index.
class TwoGroups : public Zyn::DynGroupObject {
public:
    TwoGroups() : Zyn::DynGroupObject("pair") {
        SetGroupCount(2);
        SetupGroup(0, &m_First);
        SetupGroup(1, &m_Second);
    }
    ~TwoGroups() override { ClearGroups(); }
    Zyn::StdListDynGroup<Object> m_First, m_Second;
};

}  // namespace

TEST(ObjectDump, AnObjectInTwoGroupsIsShownOnceAndThenReferredTo) {
    Zyn::Ref<Object> pair(new TwoGroups);
    Object* leaf = new Object("leaf");
    pair->InsertObject(leaf, 0, 1, nullptr);
    pair->InsertObject(leaf, 1, 1, nullptr);

    const std::string text = ZynObj::DumpText(pair.Get());
    EXPECT_NE(text.find("  group 0:\n    Object \"leaf\"  (path: pair/leaf)\n      [Object]\n"),
              std::string::npos)
        << text;
    EXPECT_NE(
        text.find("  group 1:\n    Object \"leaf\"  (path: pair/leaf) -- the same object as pair/leaf\n"),
        std::string::npos)
        << text;

    Json doc;
    std::string error;
    ASSERT_TRUE(ParseJson(ZynObj::DumpJson(pair.Get()), doc, error)) << error;
    const Json& groups = *doc.Get("groups");
    ASSERT_EQ(groups.items.size(), 2u);
    EXPECT_EQ(groups.items[1].Get("label")->type, Json::kNull);
    EXPECT_EQ(groups.items[1].Get("index")->number, 1.0);
    const Json& again = groups.items[1].Get("children")->items.at(0);
    EXPECT_EQ(again.Str("sameAs"), "pair/leaf");
    EXPECT_EQ(again.Get("properties"), nullptr);
}
