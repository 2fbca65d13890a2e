#include <gtest/gtest.h>

#include <zyn/core/Root.h>

#include "TestClasses.h"
#include "support/LogCapture.h"

using namespace Zyn;
using namespace ZynTest;

TEST(ObjectLifetime, ReleaseOnFreshObjectDestroysIt) {
    const int before = Multi::ms_Destroyed;
    Multi* m = new Multi;
    EXPECT_EQ(m->Release(), 0);
    EXPECT_EQ(Multi::ms_Destroyed, before + 1);
}

TEST(ObjectLifetime, TwoHoldingGroupsGiveTwoReferencesAndTwoLinks) {
    Holder* parent = new Holder;
    parent->AddRef();
    const int before = Multi::ms_Destroyed;
    Multi* child = new Multi;
    EXPECT_EQ(parent->InsertObject(child, 0, 1, nullptr), 0);
    EXPECT_EQ(parent->InsertObject(child, 1, 1, nullptr), 1);
    EXPECT_EQ(child->GetRefCount(), 2);
    EXPECT_EQ(child->GetObjectParentCount(), 2u);
    std::list<Object*> parents;
    child->EnumParents(parents);
    EXPECT_EQ(parents.size(), 2u);

    // Each removal drops one link and the reference it held.
    child->AddRef();
    parent->RemoveObject(child, 0);
    parent->RemoveObject(child, 1);
    EXPECT_EQ(child->GetRefCount(), 1);
    EXPECT_EQ(child->Release(), 0);
    EXPECT_EQ(Multi::ms_Destroyed, before + 1);
    EXPECT_TRUE(parent->m_A.GetList().empty());
    EXPECT_TRUE(parent->m_B.GetList().empty());
    parent->Release();
}

TEST(ObjectLifetime, DeathRemovesFromEveryGroupOfTheParent) {
    Holder* parent = new Holder;
    parent->AddRef();
    Multi* child = new Multi;
    parent->InsertObject(child, 0, 1, nullptr);
    parent->InsertObject(child, 1, 1, nullptr);
    // Count is 2; releasing from count 1 path: drop to 1 then force teardown.
    EXPECT_EQ(child->Release(), 1);
    EXPECT_EQ(child->Release(), 0);  // parent links remove it from both lists
    EXPECT_TRUE(parent->m_A.GetList().empty());
    EXPECT_TRUE(parent->m_B.GetList().empty());
    parent->Release();
}

namespace {
class SelfReleaser : public Object {
public:
    explicit SelfReleaser(int* destroyed) : Object("self"), m_pDestroyed(destroyed) {}
    ~SelfReleaser() override {
        // Releases during teardown only decrement.
        EXPECT_EQ(Release(), 0);
        ++*m_pDestroyed;
    }
    int* m_pDestroyed;
};
}  // namespace

TEST(ObjectLifetime, ReleaseDuringTeardownDoesNotDestroyTwice) {
    int destroyed = 0;
    SelfReleaser* o = new SelfReleaser(&destroyed);
    o->AddRef();
    EXPECT_EQ(o->Release(), 0);
    EXPECT_EQ(destroyed, 1);
}

TEST(ObjectLifetime, MoveChildToFrontKeepsOnlyHeldChildAlive) {
    Holder* parent = new Holder;
    parent->AddRef();
    const int before = Multi::ms_Destroyed;
    Multi* a = new Multi("a");
    Multi* b = new Multi("b");
    parent->InsertObject(a, 0, 1, nullptr);
    parent->InsertObject(b, 0, 1, nullptr);
    parent->MoveChildToFront(b, 0);
    EXPECT_EQ(Multi::ms_Destroyed, before);
    ASSERT_EQ(parent->m_A.GetList().size(), 2u);
    EXPECT_EQ(parent->m_A.GetList().front(), b);
    EXPECT_EQ(b->GetRefCount(), 1);
    parent->MoveChildToBack(b, 0);
    EXPECT_EQ(parent->m_A.GetList().back(), b);
    parent->Release();
    EXPECT_EQ(Multi::ms_Destroyed, before + 2);
}

TEST(ObjectCasting, InterfacesAtNonZeroOffsetsAreAdjusted) {
    Multi* m = new Multi;
    IFirst* first = ZYN_Cast<IFirst, Object>(m);
    ISecond* second = ZYN_Cast<ISecond, Object>(m);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(first, static_cast<IFirst*>(m));
    EXPECT_EQ(second, static_cast<ISecond*>(m));
    EXPECT_EQ(first->m_FirstValue, 11);
    EXPECT_EQ(second->m_SecondValue, 22);
    // Back from an interface to the object.
    EXPECT_EQ((ZYN_Cast<Object, ISecond>(second)), m);
    EXPECT_EQ((ZYN_Cast<Holder, Object>(m)), nullptr);
    EXPECT_EQ((ZYN_Cast<Holder, Object>(static_cast<Object*>(nullptr))), nullptr);
    EXPECT_TRUE(Multi::sm_Class.Supports(&ISecond::sm_Class));
    EXPECT_FALSE(Multi::sm_Class.Supports(nullptr));
    EXPECT_FALSE(IFirst::sm_Class.Supports(&Multi::sm_Class));
    m->Release();
}

TEST(ObjectClasses, FindClassCreatesByNameAndLogsMisses) {
    Class* cls = Class::FindClass("Multi");
    ASSERT_NE(cls, nullptr);
    Object* o = cls->CreateInstance("made");
    ASSERT_NE(o, nullptr);
    EXPECT_EQ(o->GetName(), "made");
    EXPECT_EQ(o->GetObjectClassName(), "Multi");
    o->Release();

    EXPECT_EQ(Class::FindClass("Ticker")->CreateInstance("x"), nullptr);  // abstract: no factory
    EXPECT_TRUE(Class::FindClass("Ticker")->IsAbstract());

    ScopedLogCapture log;
    EXPECT_EQ(Class::FindClass("multi"), nullptr);  // case matters
    EXPECT_TRUE(log->Contains(" W. Class::FindClass -> Can't find class: multi"));
}

TEST(ObjectClasses, FrameworkClassesAreRegisteredWithTheirParents) {
    const char* names[] = {"Object", "Class", "CppClass", "DynGroupObject", "Root", "LogOutput",
                           "StdOutLogOutput", "Package", "CppPackage", "ResourceManagerBase",
                           "Property", "ValueProperty", "GroupProperty", "FunctionPropertyBase",
                           "ICharEventReceiver"};
    for (const char* n : names) EXPECT_NE(Class::FindClassQuiet(n), nullptr) << n;
    EXPECT_TRUE(Class::FindClass("Root")->Supports(&DynGroupObject::sm_Class));
    EXPECT_TRUE(Class::FindClass("CppPackage")->Supports(&Object::sm_Class));
    EXPECT_FALSE(Class::FindClass("CppPackage")->IsAbstract());
    EXPECT_TRUE(Class::FindClass("Package")->IsAbstract());
}

TEST(ObjectParents, FindParentByNameStopsAtNewestNamedParent) {
    Holder* older = new Holder("x");
    Ticker* newer = new Ticker("x");
    older->AddRef();
    Holder* plain = new Holder("p");
    plain->AddRef();
    Multi* child = new Multi;
    child->AddRef();
    older->InsertObject(child, 0, 1, nullptr);
    // Link the Ticker as a parent by hand: it has no groups.
    newer->InsertObjectHelper(child, 0, false);
    EXPECT_EQ(child->FindParent("x", &Holder::sm_Class), nullptr);
    EXPECT_EQ(child->FindParent("x", nullptr), newer);
    EXPECT_EQ(child->FindParent(nullptr, &Holder::sm_Class), older);
    EXPECT_EQ(child->FindParent(nullptr, nullptr), nullptr);
    newer->RemoveObjectHelper(child, 0);
    older->RemoveObject(child, 0);
    child->Release();
    older->Release();
    plain->Release();
    delete newer;
}

TEST(ObjectEvents, SendEventStopsAtFirstHandlerAndHonoursFilter) {
    Holder* a = new Holder("a");
    Holder* b = new Holder("b");
    a->AddRef();
    b->AddRef();
    Multi* child = new Multi;
    child->AddRef();
    a->InsertObject(child, 0, 1, nullptr);
    b->InsertObject(child, 0, 1, nullptr);  // newest: asked first
    b->m_EventResult = 7;
    Event e;
    e.m_ID = 42;
    EXPECT_EQ(child->SendEventToParents(e, nullptr), 7);
    EXPECT_EQ(b->m_Events.size(), 1u);
    EXPECT_TRUE(a->m_Events.empty());
    b->m_EventResult = 0;
    EXPECT_EQ(child->SendEventToParents(e, &Holder::sm_Class), 0);
    EXPECT_EQ(a->m_Events.size(), 1u);
    EXPECT_EQ(child->SendEventToParents(e, &Multi::sm_Class), 0);  // nobody passes the filter
    EXPECT_EQ(a->m_Events.size(), 1u);
    a->RemoveObject(child, 0);
    b->RemoveObject(child, 0);
    child->Release();
    a->Release();
    b->Release();
}
