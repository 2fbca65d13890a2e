#include <gtest/gtest.h>

#include <zyn/core/Root.h>

#include "TestClasses.h"
#include "support/LogCapture.h"

using namespace Zyn;
using namespace ZynTest;

TEST(DynGroup, AllGroupsInsertStoresTwiceAndReturnsMinusThree) {
    Holder* h = new Holder;
    h->AddRef();
    Multi* m = new Multi;
    m->AddRef();
    EXPECT_EQ(h->InsertObject(m, -3, 1, nullptr), -3);
    EXPECT_EQ(m->GetRefCount(), 3);
    EXPECT_EQ(m->GetObjectParentCount(), 2u);
    EXPECT_EQ(h->FindObject("multi", nullptr, -3), m);
    EXPECT_EQ(h->FindObject("multi", nullptr, 5), nullptr);
    EXPECT_EQ(h->RemoveObject(m, -3), 2);
    EXPECT_EQ(m->GetRefCount(), 1);
    m->Release();
    h->Release();
}

TEST(DynGroup, GroupWithoutFlagsLinksWithoutCounting) {
    Holder* h = new Holder;
    h->AddRef();
    h->m_A.m_Flags = 0;
    Multi* m = new Multi;
    EXPECT_EQ(h->InsertObject(m, 0, 0, nullptr), 0);
    EXPECT_EQ(m->GetRefCount(), 0);
    EXPECT_EQ(m->GetObjectParentCount(), 1u);
    EXPECT_EQ(h->RemoveObject(m, 0), 1);
    EXPECT_EQ(m->GetObjectParentCount(), 0u);
    m->Release();
    h->Release();
}

TEST(DynGroup, RefusedOrOutOfRangeInsertLogsAndReturnsMinusTwo) {
    ScopedLogCapture log;
    Root* root = Singleton<Root>::Get();
    Multi* m = new Multi;
    m->AddRef();
    EXPECT_EQ(root->InsertObject(m, 7, 0, nullptr), -2);
    EXPECT_EQ(root->InsertObject(m, 0, 0, nullptr), -2);  // log outputs only
    EXPECT_EQ(log->Count(" W. DynGroupObject::InsertObject failed..."), 2);
    EXPECT_EQ(m->GetRefCount(), 1);
    EXPECT_EQ(root->RemoveObject(m, 2), 0);
    m->Release();
}

TEST(DynGroup, UpdateStopsWalkOfOneGroupOnly) {
    Holder* h = new Holder;
    h->AddRef();
    Ticker* first = new Ticker("first", false);
    Ticker* second = new Ticker("second", true);
    Ticker* other = new Ticker("other", true);
    h->InsertObject(first, 0, 1, nullptr);
    h->InsertObject(second, 0, 1, nullptr);
    h->InsertObject(other, 1, 1, nullptr);
    h->Update(0.5f);
    EXPECT_EQ(first->m_Ticks.size(), 1u);
    EXPECT_TRUE(second->m_Ticks.empty());
    EXPECT_EQ(other->m_Ticks.size(), 1u);
    h->Release();
}

namespace {
class Leaver : public Object {
public:
    explicit Leaver(Holder* h) : Object("leaver"), m_pHolder(h) {}
    bool Update(float) override {
        ++m_Updates;
        m_pHolder->RemoveObject(this, 0);  // may destroy this
        return true;
    }
    Holder* m_pHolder;
    static inline int m_Updates = 0;
};
}  // namespace

TEST(DynGroup, ChildMayRemoveItselfDuringUpdate) {
    Holder* h = new Holder;
    h->AddRef();
    Leaver::m_Updates = 0;
    h->InsertObject(new Leaver(h), 0, 1, nullptr);
    Ticker* after = new Ticker("after");
    h->InsertObject(after, 0, 1, nullptr);
    h->Update(0.1f);
    EXPECT_EQ(Leaver::m_Updates, 1);
    EXPECT_EQ(after->m_Ticks.size(), 1u);
    EXPECT_EQ(h->m_A.GetList().size(), 1u);
    h->Release();
}

TEST(DynGroup, FindObjectSkipsWrongClassAndGoesOn) {
    Holder* h = new Holder;
    h->AddRef();
    h->InsertObject(new Ticker("same"), 0, 1, nullptr);
    Multi* m = new Multi("same");
    h->InsertObject(m, 0, 1, nullptr);
    EXPECT_EQ(h->FindObject("same", &Multi::sm_Class, 0), m);
    EXPECT_EQ(h->FindObject(nullptr, &Multi::sm_Class, 0), m);
    EXPECT_EQ(h->FindObject(nullptr, nullptr, 0), nullptr);
    h->Release();
}

TEST(DynGroup, SetGroupCountReleasesHeldChildrenAndEmptiesTable) {
    const int before = Multi::ms_Destroyed;
    Holder* h = new Holder;
    h->AddRef();
    h->InsertObject(new Multi, 0, 1, nullptr);
    h->InsertObject(new Multi, 1, 1, nullptr);
    h->SetGroupCount(2);
    EXPECT_EQ(Multi::ms_Destroyed, before + 2);
    EXPECT_EQ(h->GetGroup(0), nullptr);
    Multi* late = new Multi("late");
    EXPECT_EQ(h->InsertObject(late, -1, 0, nullptr), -2);
    late->Release();
    h->Release();
}
