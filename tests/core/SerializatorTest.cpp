#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include <zyn/core/BasicSerializator.h>
#include <zyn/core/Root.h>
#include <zyn/io/VectorFile.h>

#include "support/LogCapture.h"

using namespace Zyn;
using namespace ZynTest;

namespace SerTest {

/// A node with two saved, holding groups: 0 takes nodes only, 1 any object.
/// Writes one 32-bit value as its own data.
class SerNode : public DynGroupObject {
    ZYN_DECLARE_CLASS(SerNode)
public:
    explicit SerNode(const char* name = "node", u32 value = 0) : DynGroupObject(name), m_Value(value) {
        SetGroupCount(2);
        SetupGroup(0, &m_Nodes);
        SetupGroup(1, &m_Any);
        m_Nodes.m_Flags = IDynGroup::kHoldRef | IDynGroup::kSave;
        m_Any.m_Flags = IDynGroup::kHoldRef | IDynGroup::kSave;
        ++ms_Live;
    }
    ~SerNode() override {
        ClearGroups();
        --ms_Live;
    }
    ZYN_STATIC_CREATE(SerNode)

    bool Save(ObjectSerializator& s) override {
        if (s.GetFile()->Write32(&m_Value, 1) != 1) return false;
        for (const auto& extra : m_Extra) s.SaveChild(extra.first, extra.second);
        return DynGroupObject::Save(s) && !m_bFailSave;
    }
    bool Load(ObjectSerializator& s) override { return s.GetFile()->Read32(&m_Value, 1) == 1; }
    void LoadComplete() override { m_bCompleted = true; }

    SerNode* Add(SerNode* child) {
        InsertObject(child, 0, 1, nullptr);
        return child;
    }
    std::vector<std::string> ChildNames() const {
        std::vector<std::string> names;
        for (SerNode* n : m_Nodes.GetList()) names.push_back(n->GetName());
        return names;
    }

    StdListDynGroup<SerNode> m_Nodes;
    StdListDynGroup<Object> m_Any;
    u32 m_Value;
    bool m_bFailSave = false;
    bool m_bCompleted = false;
    // Reported besides the groups; not held.
    std::vector<std::pair<Object*, int>> m_Extra;
    static inline int ms_Live = 0;
};

class SerLeaf : public Object {
    ZYN_DECLARE_CLASS(SerLeaf)
public:
    explicit SerLeaf(const char* name = "leaf") : Object(name) { ++ms_Live; }
    ~SerLeaf() override { --ms_Live; }
    ZYN_STATIC_CREATE(SerLeaf)
    bool IsSerializable() override { return m_bSerializable; }
    bool m_bSerializable = true;
    static inline int ms_Live = 0;
};

class SerAbstract : public Object {
    ZYN_DECLARE_CLASS(SerAbstract)
};

ZYN_IMPLEMENT_CLASS(SerNode, "SerTestNode", &SerNode::StaticCreate, nullptr, nullptr, DynGroupObject)
ZYN_IMPLEMENT_CLASS(SerLeaf, "SerTestLeaf", &SerLeaf::StaticCreate, nullptr, nullptr, Object)
ZYN_IMPLEMENT_CLASS(SerAbstract, "SerTestAbstract", nullptr, nullptr, nullptr, Object)

}  // namespace SerTest

using namespace SerTest;

namespace {

/// Little-endian stream builder.
struct Bytes {
    std::vector<unsigned char> v;
    Bytes& U32(u32 x) {
        for (int i = 0; i < 4; ++i) v.push_back(static_cast<unsigned char>(x >> (8 * i)));
        return *this;
    }
    Bytes& Str(const std::string& s) {
        U32(u32(s.size()));
        v.insert(v.end(), s.begin(), s.end());
        return *this;
    }
    /// Header and data of a SerNode.
    Bytes& Node(u32 id, const std::string& name, u32 value) {
        return Str("SerTestNode").U32(id).Str(name).U32(value);
    }
};

std::vector<unsigned char> SaveToBytes(Object* root, bool* ok = nullptr) {
    VectorFile file;
    BasicSerializator s(&file);
    const bool saved = s.SaveHierarchy(root);
    if (ok) *ok = saved;
    return file.GetVector();
}

Object* LoadFromBytes(const std::vector<unsigned char>& bytes) {
    VectorFile file(bytes);
    BasicSerializator s(&file);
    return s.LoadHierarchy();
}

/// Counts occurrences of a string's stream form.
int CountStreamString(const std::vector<unsigned char>& bytes, const std::string& s) {
    const std::vector<unsigned char> needle = Bytes().Str(s).v;
    int n = 0;
    for (size_t i = 0; i + needle.size() <= bytes.size(); ++i)
        if (std::memcmp(bytes.data() + i, needle.data(), needle.size()) == 0) ++n;
    return n;
}

/// Checks that a test leaves no node or leaf alive.
class ObjectStream : public ::testing::Test {
protected:
    void SetUp() override {
        m_NodesBefore = SerNode::ms_Live;
        m_LeavesBefore = SerLeaf::ms_Live;
    }
    void TearDown() override {
        EXPECT_EQ(SerNode::ms_Live, m_NodesBefore);
        EXPECT_EQ(SerLeaf::ms_Live, m_LeavesBefore);
    }
    int m_NodesBefore = 0;
    int m_LeavesBefore = 0;
};

}  // namespace

TEST_F(ObjectStream, ExactBytesListChildrenInReverseAndLoadRestoresTheOrder) {
    SerNode* root = new SerNode("r", 7);
    root->Add(new SerNode("a", 1));
    root->Add(new SerNode("b", 2));
    const std::vector<unsigned char> expected = Bytes()
                                                    .Node(1, "r", 7)
                                                    .U32(2)
                                                    .U32(2)
                                                    .U32(0)
                                                    .Node(2, "b", 2)
                                                    .U32(0)
                                                    .U32(3)
                                                    .U32(0)
                                                    .Node(3, "a", 1)
                                                    .U32(0)
                                                    .v;
    bool ok = false;
    EXPECT_EQ(SaveToBytes(root, &ok), expected);
    EXPECT_TRUE(ok);
    root->Release();

    Object* loaded = LoadFromBytes(expected);
    SerNode* node = ZYN_Cast<SerNode, Object>(loaded);
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->GetName(), "r");
    EXPECT_EQ(node->m_Value, 7u);
    EXPECT_EQ(node->GetRefCount(), 0);
    EXPECT_TRUE(node->m_bCompleted);
    EXPECT_EQ(node->ChildNames(), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(node->m_Nodes.GetList().front()->m_Value, 1u);
    EXPECT_EQ(node->m_Nodes.GetList().front()->GetRefCount(), 1);
    loaded->Release();
}

TEST_F(ObjectStream, SharedChildIsWrittenOnceAndSharedAgainAfterLoad) {
    SerNode* root = new SerNode("root", 1);
    SerNode* p1 = root->Add(new SerNode("p1", 2));
    SerNode* p2 = root->Add(new SerNode("p2", 3));
    SerLeaf* shared = new SerLeaf("shared");
    p1->InsertObject(shared, 1, 1, nullptr);
    p2->InsertObject(shared, 1, 1, nullptr);
    const std::vector<unsigned char> first = SaveToBytes(root);
    EXPECT_EQ(CountStreamString(first, "shared"), 1);
    root->Release();

    SerNode* loaded = ZYN_Cast<SerNode, Object>(LoadFromBytes(first));
    ASSERT_NE(loaded, nullptr);
    ASSERT_EQ(loaded->ChildNames(), (std::vector<std::string>{"p1", "p2"}));
    SerNode* l1 = loaded->m_Nodes.GetList().front();
    SerNode* l2 = loaded->m_Nodes.GetList().back();
    ASSERT_EQ(l1->m_Any.GetList().size(), 1u);
    ASSERT_EQ(l2->m_Any.GetList().size(), 1u);
    Object* s1 = l1->m_Any.GetList().front();
    EXPECT_EQ(s1, l2->m_Any.GetList().front());
    EXPECT_EQ(s1->GetRefCount(), 2);
    EXPECT_EQ(s1->GetObjectParentCount(), 2u);
    // Ids are assigned in writing order, so a loaded copy saves to the same bytes.
    EXPECT_EQ(SaveToBytes(loaded), first);
    loaded->Release();
}

TEST_F(ObjectStream, UnserializableChildHasNoEntry) {
    SerNode* root = new SerNode("r", 5);
    SerLeaf* hidden = new SerLeaf("hidden");
    hidden->m_bSerializable = false;
    root->InsertObject(hidden, 1, 1, nullptr);
    EXPECT_EQ(SaveToBytes(root), Bytes().Node(1, "r", 5).U32(0).v);
    root->Release();
}

TEST_F(ObjectStream, RootClassLookupLeavesTheStreamAtTheStart) {
    ScopedLogCapture log;
    VectorFile known(Bytes().Node(1, "r", 0).U32(0).v);
    BasicSerializator s1(&known);
    EXPECT_EQ(s1.GetLoadHierarchyRootClass(), &SerNode::sm_Class);
    EXPECT_EQ(known.Seek(0, 1), 0u);

    VectorFile unknown(Bytes().Str("Nowhere").U32(1).Str("r").U32(0).v);
    BasicSerializator s2(&unknown);
    EXPECT_EQ(s2.GetLoadHierarchyRootClass(), nullptr);
    EXPECT_EQ(unknown.Seek(0, 1), 0u);
    EXPECT_TRUE(log->Contains(" W. Class::FindClass -> Can't find class: Nowhere"));
    EXPECT_TRUE(
        log->Contains(" W. BasicSerializator::GetLoadHierarchyRootClass -> Could not find class <Nowhere> "
                      "defined in stream"));

    VectorFile empty;
    BasicSerializator s3(&empty);
    EXPECT_EQ(s3.GetLoadHierarchyRootClass(), nullptr);
    BasicSerializator s4(nullptr);
    EXPECT_EQ(s4.GetLoadHierarchyRootClass(), nullptr);
    EXPECT_EQ(s4.LoadHierarchy(), nullptr);
}

TEST_F(ObjectStream, SaveFailuresReachTheTopOfTheHierarchy) {
    ScopedLogCapture log;
    SerNode* root = new SerNode("r", 0);
    SerNode* kid = root->Add(new SerNode("kid", 0));
    kid->m_bFailSave = true;
    bool ok = true;
    SaveToBytes(root, &ok);
    EXPECT_FALSE(ok);
    EXPECT_TRUE(log->Contains(" W. BasicSerializator::SaveHierarchy(kid/SerTestNode) -> Failed"));
    EXPECT_TRUE(log->Contains(" W. BasicSerializator::SaveHierarchy(r/SerTestNode) -> Failed"));

    // An unnamed object could never be read back.
    kid->m_bFailSave = false;
    kid->SetName("");
    SaveToBytes(root, &ok);
    EXPECT_FALSE(ok);
    EXPECT_TRUE(
        log->Contains("BasicSerializator::SaveHierarchy -> an object of class <SerTestNode> has no name"));

    VectorFile file;
    BasicSerializator s(&file);
    EXPECT_FALSE(s.SaveHierarchy(nullptr));
    root->Release();
}

TEST_F(ObjectStream, SaveRefusesALinkBackToAnAncestor) {
    ScopedLogCapture log;
    SerNode* root = new SerNode("r", 0);
    SerNode* kid = root->Add(new SerNode("kid", 0));
    SerNode* grandkid = kid->Add(new SerNode("grandkid", 0));
    grandkid->m_Extra.emplace_back(root, 0);
    bool ok = true;
    SaveToBytes(root, &ok);
    EXPECT_FALSE(ok);
    EXPECT_TRUE(
        log->Contains("BasicSerializator::SaveHierarchy -> <grandkid> links back to <r>, which contains it"));

    grandkid->m_Extra.clear();
    grandkid->m_Extra.emplace_back(grandkid, 1);
    SaveToBytes(root, &ok);
    EXPECT_FALSE(ok);
    root->Release();
}

TEST_F(ObjectStream, ChildRefusedByItsParentIsReleasedUnlessClaimedLater) {
    ScopedLogCapture log;
    // Group 5 does not exist: the loader's insertion is refused.
    SerNode* root = new SerNode("r", 0);
    SerLeaf* lost = new SerLeaf("lost");
    lost->AddRef();
    root->m_Extra.emplace_back(lost, 5);
    const std::vector<unsigned char> bytes = SaveToBytes(root);
    root->Release();
    lost->Release();

    Object* loaded = LoadFromBytes(bytes);
    ASSERT_NE(loaded, nullptr);
    EXPECT_TRUE(log->Contains(
        " W. BasicSerializator::LoadHierarchy -> <r> did not take its child <lost> into group 5"));
    EXPECT_EQ(SerLeaf::ms_Live, m_LeavesBefore);
    loaded->Release();

    // Entries are written last reported first: a is read before b, so the
    // leaf is refused by a and then taken by b.
    root = new SerNode("r", 0);
    SerNode* b = root->Add(new SerNode("b", 0));
    SerNode* a = root->Add(new SerNode("a", 0));
    SerLeaf* leaf = new SerLeaf("leaf");
    b->InsertObject(leaf, 1, 1, nullptr);
    a->m_Extra.emplace_back(leaf, 5);
    const std::vector<unsigned char> shared = SaveToBytes(root);
    root->Release();
    SerNode* again = ZYN_Cast<SerNode, Object>(LoadFromBytes(shared));
    ASSERT_NE(again, nullptr);
    SerNode* loadedB = again->m_Nodes.GetList().front();
    ASSERT_EQ(loadedB->GetName(), "b");
    ASSERT_EQ(loadedB->m_Any.GetList().size(), 1u);
    EXPECT_EQ(loadedB->m_Any.GetList().front()->GetRefCount(), 1);
    again->Release();
}

TEST_F(ObjectStream, NestingIsBoundedOnSaveAndLoad) {
    ScopedLogCapture log;
    // 64 levels are fine both ways.
    SerNode* root = new SerNode("n1", 1);
    SerNode* tail = root;
    for (int i = 2; i <= BasicSerializator::kMaxDepth; ++i) tail = tail->Add(new SerNode("n", u32(i)));
    bool ok = false;
    const std::vector<unsigned char> bytes = SaveToBytes(root, &ok);
    EXPECT_TRUE(ok);
    Object* loaded = LoadFromBytes(bytes);
    ASSERT_NE(loaded, nullptr);
    loaded->Release();

    // One more level is refused.
    tail->Add(new SerNode("deep", 0));
    SaveToBytes(root, &ok);
    EXPECT_FALSE(ok);
    EXPECT_TRUE(log->Contains("BasicSerializator::SaveHierarchy -> objects nested deeper than 64 levels"));
    root->Release();

    // A hand-made stream nested 1000 deep is rejected before the stack suffers.
    Bytes deep;
    for (u32 i = 1; i <= 1000; ++i) deep.Node(i, "n", 0).U32(1).U32(i + 1).U32(0);
    EXPECT_EQ(LoadFromBytes(deep.v), nullptr);
    EXPECT_TRUE(
        log->Contains(" W. BasicSerializator::LoadHierarchy -> objects nested deeper than 64 levels"));
}

TEST_F(ObjectStream, MalformedHeadersFailWithTheirMessages) {
    ScopedLogCapture log;
    // A length far beyond the stream: nothing of that size may be allocated.
    EXPECT_EQ(LoadFromBytes(Bytes().U32(0xFFFFFFF0u).Str("junk").v), nullptr);
    EXPECT_EQ(LoadFromBytes(Bytes().Str("SerTestNode").U32(1).U32(0x7FFFFFFFu).v), nullptr);
    EXPECT_EQ(log->Count(" W. BasicSerializator::LoadHierarchy -> the stream ends inside a string"), 2);

    EXPECT_EQ(LoadFromBytes(Bytes().Str("SerTestNode").v), nullptr);
    EXPECT_TRUE(log->Contains(" W. BasicSerializator::LoadHierarchy -> the stream ends inside a header"));

    EXPECT_EQ(LoadFromBytes(Bytes().Node(1, "", 0).U32(0).v), nullptr);
    EXPECT_TRUE(
        log->Contains(" W. BasicSerializator::CreateObjectFromHeader -> Could not find class <SerTestNode> "
                      "defined in stream"));

    EXPECT_EQ(LoadFromBytes(Bytes().Str("SerTestAbstract").U32(1).Str("x").U32(0).v), nullptr);
    EXPECT_TRUE(
        log->Contains(" W. BasicSerializator::CreateObjectFromHeader -> Class <SerTestAbstract> defined in "
                      "stream is abstract!"));
}

TEST_F(ObjectStream, ImpossibleChildCountIsRejected) {
    ScopedLogCapture log;
    EXPECT_EQ(LoadFromBytes(Bytes().Node(1, "r", 0).U32(0x7FFFFFFFu).U32(2).U32(0).v), nullptr);
    EXPECT_TRUE(
        log->Contains(" W. BasicSerializator::LoadHierarchy -> <r> claims 2147483647 children, more than the "
                      "stream holds"));
}

TEST_F(ObjectStream, UnknownClassInTheMiddleFailsTheWholeLoad) {
    ScopedLogCapture log;
    SerNode* root = new SerNode("r", 0);
    root->Add(new SerNode("a", 0));
    root->Add(new SerNode("b", 0))->InsertObject(new SerLeaf("x"), 1, 1, nullptr);
    root->Add(new SerNode("c", 0));
    std::vector<unsigned char> bytes = SaveToBytes(root);
    root->Release();
    // Rename the class of the second child written ("b") to one nobody knows.
    const std::vector<unsigned char> needle = Bytes().Str("SerTestNode").v;
    int seen = 0;
    for (size_t i = 0; i + needle.size() <= bytes.size(); ++i) {
        if (std::memcmp(bytes.data() + i, needle.data(), needle.size()) == 0 && ++seen == 3) {
            bytes[i + needle.size() - 1] = 'X';
            break;
        }
    }
    ASSERT_EQ(seen, 3);
    EXPECT_EQ(LoadFromBytes(bytes), nullptr);
    EXPECT_TRUE(log->Contains(" W. Class::FindClass -> Can't find class: SerTestNodX"));
    EXPECT_TRUE(
        log->Contains(" W. BasicSerializator::CreateObjectFromHeader -> Could not find class <SerTestNodX> "
                      "defined in stream"));
}

TEST_F(ObjectStream, IdsNamingAnObjectStillBeingLoadedAreRejected) {
    ScopedLogCapture log;
    // The child 2 names itself among its own children.
    Bytes self;
    self.Node(1, "r", 0).U32(1).U32(2).U32(0).Node(2, "x", 0).U32(1).U32(2).U32(0).Node(2, "y", 0).U32(0);
    EXPECT_EQ(LoadFromBytes(self.v), nullptr);
    // The child names the root.
    Bytes root;
    root.Node(7, "r", 0).U32(1).U32(2).U32(0).Node(2, "x", 0).U32(1).U32(7).U32(0).Node(7, "r2", 0).U32(0);
    EXPECT_EQ(LoadFromBytes(root.v), nullptr);
    EXPECT_EQ(
        log->Count(" W. BasicSerializator::LoadHierarchy -> <x> links back to an object still being loaded"),
        2);
}

TEST_F(ObjectStream, EveryTruncationFailsAndReleasesWhatWasBuilt) {
    SerNode* root = new SerNode("root", 1);
    SerNode* p1 = root->Add(new SerNode("p1", 2));
    SerNode* p2 = root->Add(new SerNode("p2", 3));
    SerLeaf* shared = new SerLeaf("shared");
    p1->InsertObject(shared, 1, 1, nullptr);
    p2->InsertObject(shared, 1, 1, nullptr);
    p2->Add(new SerNode("p3", 4));
    const std::vector<unsigned char> bytes = SaveToBytes(root);
    root->Release();

    Root* zyn = Singleton<Root>::Get();
    const int level = zyn->m_LogLevel;
    zyn->m_LogLevel = kLogError;
    for (size_t cut = 0; cut < bytes.size(); ++cut) {
        const std::vector<unsigned char> prefix(bytes.begin(), bytes.begin() + long(cut));
        EXPECT_EQ(LoadFromBytes(prefix), nullptr) << "cut at " << cut;
        ASSERT_EQ(SerNode::ms_Live, m_NodesBefore) << "cut at " << cut;
        ASSERT_EQ(SerLeaf::ms_Live, m_LeavesBefore) << "cut at " << cut;
    }
    zyn->m_LogLevel = level;
    Object* whole = LoadFromBytes(bytes);
    ASSERT_NE(whole, nullptr);
    whole->Release();
}
