#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <zyn/core/Property.h>
#include <zyn/core/ResourceManagerBase.h>
#include <zyn/core/Root.h>
#include <zyn/io/Package.h>

#include "TestClasses.h"
#include "support/LogCapture.h"

using namespace Zyn;
using namespace ZynTest;

namespace {

/// One member of every converted type, plus accessors for the get/set kinds.
class Gadget : public Object {
    ZYN_DECLARE_CLASS(Gadget)
public:
    explicit Gadget(const char* name = "gadget") : Object(name) {}
    ZYN_STATIC_CREATE(Gadget)

    int GetLevel() const { return m_Level; }
    void SetLevel(int level) {
        m_Level = level;
        ++m_SetCalls;
    }
    const std::string& GetTitle() const { return m_Title; }
    void SetTitle(const std::string& title) { m_Title = title; }
    virtual Color GetTint() { return m_Tint; }
    void SetTint(Color c) {
        m_Tint = c;
        ++m_SetCalls;
    }
    Object* GetTarget() const { return m_pTarget; }
    void SetTarget(Object* target) { m_pTarget = target; }

    int m_Int = 0;
    unsigned int m_Unsigned = 0;
    unsigned short m_Short = 0;
    unsigned char m_Byte = 0;
    bool m_Bool = false;
    float m_Float = 0.0f;
    std::string m_String;
    Color m_Color;
    Point2D<float> m_P2;
    Point3D<float> m_P3;

    int m_Level = 0;
    int m_SetCalls = 0;
    std::string m_Title;
    Color m_Tint;
    Object* m_pTarget = nullptr;
};

ZYN_IMPLEMENT_CLASS(Gadget, "PropTestGadget", &Gadget::StaticCreate, nullptr, nullptr, Object)

/// Object is not the first base: member positions count from the Object part.
class Offcentre : public IFirst, public Object {
    ZYN_DECLARE_CLASS(Offcentre)
public:
    Offcentre() : Object("offcentre") {}
    float m_fValue = 0.0f;
};

::Zyn::CppClass Offcentre::sm_Class("PropTestOffcentre", nullptr, nullptr, nullptr, 2, &Object::sm_Class,
                                    ZYN_OFFSET(Offcentre, Object), &IFirst::sm_Class, 0);
ZYN_IMPLEMENT_REFLECTION(Offcentre)

/// Owns the properties it creates, as a class record would.
class PropertyFixture : public ::testing::Test {
protected:
    template <class P>
    P* Keep(P* p) {
        p->AddRef();
        m_Props.push_back(p);
        return p;
    }
    void TearDown() override {
        for (Property* p : m_Props) p->Release();
    }
    std::vector<Property*> m_Props;
    Gadget m_Gadget;
};

std::string TextOf(ValueProperty* p, Object* o) { return p->GetValue(o); }

bool SetText(ValueProperty* p, Object* o, std::string text) { return p->SetValue(o, text); }

}  // namespace

TEST(PropertyRecords, FifteenValueTypesInRegistrationOrder) {
    const std::vector<std::string> expected = {
        "TypedValueProperty<s32>",         "TypedValueProperty<u32>",
        "TypedValueProperty<s16>",         "TypedValueProperty<u16>",
        "TypedValueProperty<u8>",          "TypedValueProperty<s8>",
        "TypedValueProperty<ZynString>",   "TypedValueProperty<bool>",
        "TypedValueProperty<Color>",       "TypedValueProperty<f32>",
        "TypedValueProperty<Point3D_f32>", "TypedValueProperty<Point2D_f32>",
        "TypedValueProperty<Point3D_s32>", "TypedValueProperty<Point2D_s32>",
        "TypedValueProperty<void*>"};
    // The chain runs newest first.
    std::vector<std::string> found;
    for (Class* c = Class::GetFirst(); c; c = c->GetNextClass()) {
        const std::string name = c->GetClassName();
        if (name.rfind("TypedValueProperty<", 0) == 0) found.insert(found.begin(), name);
    }
    EXPECT_EQ(found, expected);
    for (const std::string& name : expected) {
        Class* c = Class::FindClassQuiet(name.c_str());
        ASSERT_NE(c, nullptr) << name;
        EXPECT_TRUE(c->Supports(&ValueProperty::sm_Class));
        EXPECT_TRUE(c->IsAbstract());
    }
}

TEST_F(PropertyFixture, EveryKindAnswersTheRecordOfItsValueType) {
    auto* member = Keep(new MemberProp<float>("f", "", &Gadget::m_Float, 0));
    auto* getSet =
        Keep(new GetSetMemberProp<Gadget, std::string>("t", "", &Gadget::GetTitle, &Gadget::SetTitle, 0));
    auto* pointer = Keep(new GetSetPointerProp<Gadget, Object>("p", "", &Gadget::GetTarget, nullptr, 0));
    EXPECT_STREQ(member->GetClass()->GetClassName(), "TypedValueProperty<f32>");
    EXPECT_STREQ(getSet->GetClass()->GetClassName(), "TypedValueProperty<ZynString>");
    EXPECT_STREQ(pointer->GetClass()->GetClassName(), "TypedValueProperty<void*>");
    EXPECT_EQ(pointer->GetValueClass(), &Object::sm_Class);
    EXPECT_EQ(member->GetValueClass(), nullptr);
    EXPECT_EQ((ZYN_Cast<TypedValueProperty<f32>, Object>(member)), member);
    EXPECT_EQ((ZYN_Cast<TypedValueProperty<s32>, Object>(member)), nullptr);
    EXPECT_STREQ(member->GetDesc(), "f");
}

TEST_F(PropertyFixture, NumbersAndVectorsReadInTheirFormats) {
    m_Gadget.m_Float = 1.5f;
    m_Gadget.m_P2 = Point2D<float>(1.0f, 2.5f);
    m_Gadget.m_P3 = Point3D<float>(1.0f, 2.0f, 3.0f);
    m_Gadget.m_Unsigned = 4294967295u;
    m_Gadget.m_Int = -42;
    m_Gadget.m_Bool = true;
    EXPECT_EQ(TextOf(Keep(new MemberProp<float>("f", "", &Gadget::m_Float, 0)), &m_Gadget), "1.500");
    EXPECT_EQ(TextOf(Keep(new MemberProp<Point2D<float>>("p2", "", &Gadget::m_P2, 0)), &m_Gadget),
              "1.00, 2.50");
    EXPECT_EQ(TextOf(Keep(new MemberProp<Point3D<float>>("p3", "", &Gadget::m_P3, 0)), &m_Gadget),
              "1.00, 2.00, 3.00");
    EXPECT_EQ(TextOf(Keep(new MemberProp<int>("i", "", &Gadget::m_Int, 0)), &m_Gadget), "-42");
    EXPECT_EQ(TextOf(Keep(new MemberProp<bool>("b", "", &Gadget::m_Bool, 0)), &m_Gadget), "1");
    auto* u = Keep(new MemberProp<unsigned int>("u", "", &Gadget::m_Unsigned, 0));
    EXPECT_EQ(TextOf(u, &m_Gadget), "-1");
    m_Gadget.m_Unsigned = 0;
    EXPECT_TRUE(SetText(u, &m_Gadget, "-1"));
    EXPECT_EQ(m_Gadget.m_Unsigned, 4294967295u);
}

TEST_F(PropertyFixture, VectorsFromTextFillMissingPartsWithZero) {
    auto* p2 = Keep(new MemberProp<Point2D<float>>("p2", "", &Gadget::m_P2, 0));
    auto* p3 = Keep(new MemberProp<Point3D<float>>("p3", "", &Gadget::m_P3, 0));
    m_Gadget.m_P2 = Point2D<float>(9.0f, 9.0f);
    SetText(p2, &m_Gadget, "3");
    EXPECT_EQ(m_Gadget.m_P2, Point2D<float>(3.0f, 0.0f));
    SetText(p2, &m_Gadget, "3, 4");
    EXPECT_EQ(m_Gadget.m_P2, Point2D<float>(3.0f, 4.0f));
    m_Gadget.m_P3 = Point3D<float>(9.0f, 9.0f, 9.0f);
    SetText(p3, &m_Gadget, "1, 2");
    EXPECT_EQ(m_Gadget.m_P3, Point3D<float>(1.0f, 2.0f, 0.0f));
    SetText(p3, &m_Gadget, "-1.5,2.25,  7");
    EXPECT_EQ(m_Gadget.m_P3, Point3D<float>(-1.5f, 2.25f, 7.0f));
}

TEST_F(PropertyFixture, IntegersFromTextFollowAtoiAndKeepTheirWidth) {
    auto* b = Keep(new MemberProp<bool>("b", "", &Gadget::m_Bool, 0));
    SetText(b, &m_Gadget, "2");
    EXPECT_TRUE(m_Gadget.m_Bool);
    SetText(b, &m_Gadget, "-1");
    EXPECT_FALSE(m_Gadget.m_Bool);
    m_Gadget.m_Bool = true;
    SetText(b, &m_Gadget, "word");
    EXPECT_FALSE(m_Gadget.m_Bool);

    auto* s = Keep(new MemberProp<unsigned short>("s", "", &Gadget::m_Short, 0));
    SetText(s, &m_Gadget, "70000");
    EXPECT_EQ(m_Gadget.m_Short, 70000 & 0xFFFF);
    EXPECT_EQ(TextOf(s, &m_Gadget), "4464");
    auto* c = Keep(new MemberProp<unsigned char>("c", "", &Gadget::m_Byte, 0));
    SetText(c, &m_Gadget, "300");
    EXPECT_EQ(m_Gadget.m_Byte, 44);
    auto* i = Keep(new MemberProp<int>("i", "", &Gadget::m_Int, 0));
    SetText(i, &m_Gadget, "12abc");
    EXPECT_EQ(m_Gadget.m_Int, 12);
    SetText(i, &m_Gadget, "abc");
    EXPECT_EQ(m_Gadget.m_Int, 0);
}

TEST_F(PropertyFixture, TypeWithoutConversionWarnsAndKeepsItsValue) {
    ScopedLogCapture log;
    m_Gadget.m_Color = Color(0xFF102030);
    auto* member = Keep(new MemberProp<Color>("c", "", &Gadget::m_Color, 0));
    EXPECT_EQ(TextOf(member, &m_Gadget), "0");
    EXPECT_TRUE(log->Contains(" W. Property is using non specialized ConvertToString!"));
    EXPECT_TRUE(SetText(member, &m_Gadget, "255"));
    EXPECT_TRUE(log->Contains(" W. Property is using non specialized ConvertFromString"));
    EXPECT_EQ(u32(m_Gadget.m_Color), 0xFF102030u);

    // Through a setter the unchanged value is written back.
    m_Gadget.m_Tint = Color(0x11223344);
    auto* getSet = Keep(new GetSetMemberProp<Gadget, Color>("t", "", &Gadget::GetTint, &Gadget::SetTint, 0));
    EXPECT_TRUE(SetText(getSet, &m_Gadget, "1"));
    EXPECT_EQ(u32(m_Gadget.m_Tint), 0x11223344u);
    EXPECT_EQ(m_Gadget.m_SetCalls, 1);
}

TEST_F(PropertyFixture, GetSetChecksTheClassAndTheSetter) {
    ScopedLogCapture log;
    auto* level =
        Keep(new GetSetMemberProp<Gadget, int>("Level", "", &Gadget::GetLevel, &Gadget::SetLevel, 0));
    auto* readOnly = Keep(new GetSetMemberProp<Gadget, int>("Level", "", &Gadget::GetLevel, nullptr, 1));
    EXPECT_TRUE(SetText(level, &m_Gadget, "17"));
    EXPECT_EQ(m_Gadget.m_Level, 17);
    EXPECT_EQ(TextOf(readOnly, &m_Gadget), "17");

    int value = 5;
    EXPECT_FALSE(readOnly->Set(&m_Gadget, value));
    EXPECT_FALSE(SetText(readOnly, &m_Gadget, "3"));
    EXPECT_EQ(m_Gadget.m_Level, 17);
    EXPECT_TRUE(level->Set(&m_Gadget, value));
    EXPECT_EQ(level->Get(&m_Gadget), 5);

    Holder other;
    EXPECT_FALSE(SetText(level, &other, "3"));
    EXPECT_EQ(log->Count(" E. GetSetMemberProp -> SetValue failed"), 1);
    EXPECT_FALSE(level->Set(&other, value));
    EXPECT_EQ(level->Get(&other), 0);
    EXPECT_EQ(m_Gadget.m_SetCalls, 2);
}

TEST_F(PropertyFixture, PointerPropertyShowsNameAndClassAndRefusesText) {
    ScopedLogCapture log;
    auto* target =
        Keep(new GetSetPointerProp<Gadget, Object>("Target", "", &Gadget::GetTarget, &Gadget::SetTarget, 0));
    EXPECT_EQ(TextOf(target, &m_Gadget), "NULL Pointer");
    Holder holder("somewhere/tex.png");
    void* p = &holder;
    EXPECT_TRUE(target->Set(&m_Gadget, p));
    EXPECT_EQ(m_Gadget.m_pTarget, &holder);
    EXPECT_EQ(TextOf(target, &m_Gadget), "somewhere/tex.png (Holder)");
    EXPECT_FALSE(SetText(target, &m_Gadget, "anything"));
    EXPECT_TRUE(log->Contains(" E. GetSetPointerProp -> SetValue not available for pointer properties."));
    EXPECT_EQ(m_Gadget.m_pTarget, &holder);
}

TEST_F(PropertyFixture, MemberPositionCountsFromTheObjectPart) {
    Offcentre o;
    o.m_fValue = 2.0f;
    auto* byPointer = Keep(new MemberProp<float>("v", "", &Offcentre::m_fValue, 0));
    auto* byOffset = Keep(new MemberProp<float>("v", "", ZYN_MEMBER_OFFSET(Offcentre, m_fValue), 0));
    EXPECT_EQ(byPointer->GetPosition(), byOffset->GetPosition());
    Object* asObject = &o;
    EXPECT_EQ(TextOf(byPointer, asObject), "2.000");
    EXPECT_TRUE(SetText(byOffset, asObject, "0.25"));
    EXPECT_EQ(o.m_fValue, 0.25f);
}

TEST(ObjectProperties, FourPropertiesOfEveryObject) {
    Class* cls = &Object::sm_Class;
    std::vector<std::string> labels;
    std::vector<u32> flags;
    for (ValueProperty* p : cls->GetValueProps()) {
        labels.push_back(p->GetName());
        flags.push_back(p->GetFlags());
    }
    EXPECT_EQ(labels, (std::vector<std::string>{"Reference count", "Parent Count", "Name", "Class name"}));
    EXPECT_EQ(flags, (std::vector<u32>{1, 1, 0, 1}));

    Holder parent("parent");
    Holder* child = new Holder("child");
    parent.InsertObject(child, 0, 0, nullptr);
    child->AddRef();
    // Found through the parent chain of a derived record.
    ValueProperty* refs = FindValueProperty(&Holder::sm_Class, "Reference count");
    ValueProperty* parents = FindValueProperty(&Holder::sm_Class, "Parent Count");
    ValueProperty* name = FindValueProperty(&Holder::sm_Class, "Name");
    ValueProperty* className = FindValueProperty(&Holder::sm_Class, "Class name");
    ASSERT_TRUE(refs && parents && name && className);
    EXPECT_STREQ(name->GetDesc(), "Name");
    EXPECT_EQ(TextOf(refs, child), "2");
    EXPECT_EQ(TextOf(parents, child), "1");
    EXPECT_EQ(TextOf(className, child), "Holder");
    EXPECT_TRUE(SetText(name, child, "renamed"));
    EXPECT_EQ(child->GetName(), "renamed");
    EXPECT_FALSE(SetText(className, child, "Other"));
    EXPECT_EQ(FindValueProperty(&Holder::sm_Class, "No such"), nullptr);
    parent.RemoveObject(child, 0);
    child->Release();
    parent.ClearGroups();
}

TEST(RootProperties, GroupsAndLanguage) {
    Root* root = Singleton<Root>::Get();
    struct Expected {
        const char* label;
        int group;
        Class* cls;
    };
    const Expected expected[] = {{"Update", 3, &Object::sm_Class},
                                 {"Log Outputs", 0, &LogOutput::sm_Class},
                                 {"Packages", 1, &Package::sm_Class},
                                 {"Resource Managers", 2, &ResourceManagerBase::sm_Class}};
    const auto& groups = Root::sm_Class.GetGroupProps();
    ASSERT_EQ(groups.size(), 4u);
    auto it = groups.begin();
    for (const Expected& e : expected) {
        EXPECT_EQ((*it)->GetName(), e.label);
        EXPECT_EQ((*it)->GetGroup(), e.group);
        EXPECT_EQ((*it)->GetElementClass(), e.cls);
        ++it;
    }
    ValueProperty* language = FindValueProperty(&Root::sm_Class, "Language");
    ASSERT_NE(language, nullptr);
    const std::string before = root->GetLanguage();
    EXPECT_TRUE(SetText(language, root, "klingon"));
    EXPECT_EQ(root->GetLanguage(), "klingon");
    EXPECT_EQ(TextOf(language, root), "klingon");
    root->SetLanguage(before);
}
