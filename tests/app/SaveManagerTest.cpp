#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include <boost/filesystem.hpp>

#include <screensaver/OrvSettings.h>
#include <zyn/app/SaveManager.h>
#include <zyn/core/BasicSerializator.h>
#include <zyn/core/Property.h>
#include <zyn/core/Root.h>
#include <zyn/io/File.h>
#include <zyn/io/VectorFile.h>
#include <zyn/particles/ParticleEmitter.h>

#include "support/LogCapture.h"

using namespace Zyn;
using namespace ZynTest;
namespace fs = boost::filesystem;

namespace SaveTest {

typedef std::vector<unsigned char> Bytes;

/// A profile with one saved number; counts its live instances.
class TestProfile : public Object {
    ZYN_DECLARE_CLASS(TestProfile)
public:
    explicit TestProfile(const char* name = "profile", u32 score = 0) : Object(name), m_Score(score) {
        ++ms_Live;
    }
    ~TestProfile() override { --ms_Live; }
    ZYN_STATIC_CREATE(TestProfile)

    bool Save(ObjectSerializator& s) override {
        return !m_bFailSave && s.GetFile()->Write32(&m_Score, 1) == 1;
    }
    bool Load(ObjectSerializator& s) override { return s.GetFile()->Read32(&m_Score, 1) == 1; }

    u32 m_Score;
    bool m_bFailSave = false;
    static inline int ms_Live = 0;
};

ZYN_IMPLEMENT_CLASS(TestProfile, "SaveManagerTestProfile", &TestProfile::StaticCreate, nullptr, nullptr,
                    Object)

/// A manager of the test's own, deleted (and so unlinked from Root) at scope end.
class LocalManager {
public:
    LocalManager() : m_p(new SaveManager) { m_p->SetSaveOnDestruction(false); }
    ~LocalManager() { delete m_p; }
    SaveManager* operator->() { return m_p; }
    SaveManager* Get() { return m_p; }
    /// Deletes the manager now, with its saving at destruction as set.
    void Destroy() {
        delete m_p;
        m_p = nullptr;
    }

private:
    SaveManager* m_p;
};

Bytes ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

/// The object stream of one object, as the manager writes it.
Bytes StreamOf(Object* obj) {
    VectorFile file;
    BasicSerializator s(&file);
    EXPECT_TRUE(s.SaveHierarchy(obj));
    return file.GetVector();
}

Bytes ProfileStream(const char* name, u32 score) {
    TestProfile p(name, score);
    return StreamOf(&p);
}

Bytes GeneralDat(const std::string& name) {
    VectorFile file;
    file.WriteString(name);
    return file.GetVector();
}

std::vector<std::string> Names(SaveManager* m, int group) {
    std::list<Object*> objects;
    m->EnumObjects(group, objects);
    std::vector<std::string> names;
    for (Object* o : objects) names.push_back(o->GetName());
    return names;
}

class SaveManagerTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/zyn_save_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_Temp = pattern;
        const char* old = std::getenv("XDG_CONFIG_HOME");
        m_bHadConfig = old != nullptr;
        if (old) m_OldConfig = old;
        m_Config = m_Temp + "/config";
        setenv("XDG_CONFIG_HOME", m_Config.c_str(), 1);
        TestProfile::ms_Live = 0;
    }

    void TearDown() override {
        if (m_bHadConfig)
            setenv("XDG_CONFIG_HOME", m_OldConfig.c_str(), 1);
        else
            unsetenv("XDG_CONFIG_HOME");
        boost::system::error_code ec;
        for (const std::string& dir : m_ReadOnly) fs::permissions(dir, fs::owner_all, ec);
        fs::remove_all(m_Temp, ec);
        EXPECT_EQ(TestProfile::ms_Live, 0) << "profiles leaked or released twice";
    }

    /// The save directory that Load("Orvanthe", sub) uses, created with files.
    std::string MakeSaveDir(const char* sub) {
        const std::string dir = m_Config + "/Orvanthe_" + sub;
        fs::create_directories(dir);
        return dir;
    }

    void MakeReadOnly(const std::string& dir) {
        m_ReadOnly.push_back(dir);
        fs::permissions(dir, fs::owner_read | fs::owner_exe);
    }

    std::string m_Temp;
    std::string m_Config;
    std::string m_OldConfig;
    bool m_bHadConfig = false;
    std::vector<std::string> m_ReadOnly;
};

TEST_F(SaveManagerTest, SingletonIsNamedRecordAndSitsInRootUpdateGroup) {
    SaveManager* m = Singleton<SaveManager>::Get();
    m->SetSaveOnDestruction(false);
    EXPECT_EQ(m->GetName(), "SaveManager");
    EXPECT_STREQ(m->GetClass()->GetClassName(), "SaveManager");
    EXPECT_TRUE(m->GetClass()->Supports(&DynGroupObject::sm_Class));
    EXPECT_TRUE(m->GetClass()->IsAbstract());
    EXPECT_EQ(Singleton<Root>::Get()->FindObject("SaveManager", &SaveManager::sm_Class, Root::kUpdate), m);
    // Releasing the last reference must not delete a singleton.
    m->AddRef();
    m->Release();
    EXPECT_EQ(Singleton<SaveManager>::Get(), m);
}

TEST_F(SaveManagerTest, PropertiesReachGroupsAndCurrentProfile) {
    LocalManager m;
    Class* cls = &SaveManager::sm_Class;
    GroupProperty* profiles = FindGroupProperty(cls, "Profiles");
    GroupProperty* settings = FindGroupProperty(cls, "Settings");
    ASSERT_NE(profiles, nullptr);
    ASSERT_NE(settings, nullptr);
    EXPECT_EQ(profiles->GetGroup(), 0);
    EXPECT_EQ(settings->GetGroup(), 1);
    ValueProperty* cur = FindValueProperty(cls, "Cur Profile");
    ASSERT_NE(cur, nullptr);
    EXPECT_EQ(cur->GetValue(m.Get()), "NULL Pointer");
    TestProfile* anna = new TestProfile("anna");
    ASSERT_EQ(m->InsertObject(anna, 0, 0, nullptr), 0);
    EXPECT_EQ(cur->GetValue(m.Get()), "anna (SaveManagerTestProfile)");

    // Setting through the property goes through SetCurProfile's rule.
    TestProfile stranger("stranger");
    void* p = static_cast<Object*>(&stranger);
    ASSERT_TRUE(static_cast<TypedValueProperty<void*>*>(cur)->Set(m.Get(), p));
    EXPECT_EQ(m->GetCurProfile(), anna);
    p = nullptr;
    ASSERT_TRUE(static_cast<TypedValueProperty<void*>*>(cur)->Set(m.Get(), p));
    EXPECT_EQ(m->GetCurProfile(), nullptr);
    m->Clear();
}

TEST_F(SaveManagerTest, LoadCreatesDirectoryUnderConfigHome) {
    ScopedLogCapture log;
    LocalManager m;
    m->Load("Orvanthe", "WIP14");
    const std::string dir = m_Config + "/Orvanthe_WIP14";
    EXPECT_EQ(std::string(m->GetSavePath()), dir);
    EXPECT_TRUE(fs::is_directory(dir));
    EXPECT_TRUE(log->Contains(" I. SaveManager: Directory Created: " + dir));
    // Nothing was ever saved here: no general.dat is the first run, not a fault.
    EXPECT_TRUE(log->Contains(" I. SaveManager:LoadEverything - can't open file: " + dir + "/general.dat"));

    LocalManager again;
    again->Load("Orvanthe", "WIP14");
    EXPECT_TRUE(log->Contains("SaveManager: Could not create dir or dir exists: " + dir));
}

TEST_F(SaveManagerTest, LoadRefusesLongPathsAndSlashesInNames) {
    ScopedLogCapture log;
    LocalManager m;
    const std::string longConfig = m_Temp + "/" + std::string(240, 'c');
    setenv("XDG_CONFIG_HOME", longConfig.c_str(), 1);
    m->Load("Orvanthe", "WIP14");
    EXPECT_STREQ(m->GetSavePath(), "");
    EXPECT_TRUE(log->Contains(" W. SaveManager:Load failed - save path too long: " + longConfig));
    EXPECT_FALSE(fs::exists(longConfig + "/Orvanthe_WIP14"));

    // 255 characters still fit the buffer with its terminator.
    const std::string fitting = m_Temp + "/" + std::string(255 - m_Temp.size() - 1 - 15, 'd');
    setenv("XDG_CONFIG_HOME", fitting.c_str(), 1);
    m->Load("Orvanthe", "WIP14");
    EXPECT_EQ(std::string(m->GetSavePath()).size(), 255u);
    EXPECT_TRUE(fs::is_directory(m->GetSavePath()));

    setenv("XDG_CONFIG_HOME", m_Config.c_str(), 1);
    LocalManager unsafe;
    unsafe->Load("Orvanthe", "../../escape");
    EXPECT_STREQ(unsafe->GetSavePath(), "");
    EXPECT_TRUE(log->Contains("SaveManager:Load failed - unsafe save directory name: Orvanthe_../../escape"));
}

TEST_F(SaveManagerTest, LoadingTakesOnlyProfileAndSettingFiles) {
    const std::string dir = MakeSaveDir("filter");
    WriteBytes(dir + "/a.profile", ProfileStream("a", 7));
    OrvSettings settings("b");
    WriteBytes(dir + "/b.setting", StreamOf(&settings));
    WriteBytes(dir + "/notes.txt", ProfileStream("notes", 1));
    // Exactly the suffix, a different letter case, and a directory: all ignored.
    WriteBytes(dir + "/.profile", ProfileStream("dot", 1));
    WriteBytes(dir + "/c.PROFILE", ProfileStream("c", 1));
    fs::create_directory(dir + "/x.profile");
    WriteBytes(dir + "/x.profile/inner.profile", ProfileStream("inner", 1));

    ScopedLogCapture log;
    LocalManager m;
    m->Load("Orvanthe", "filter");
    EXPECT_EQ(Names(m.Get(), 0), std::vector<std::string>{"a"});
    EXPECT_EQ(Names(m.Get(), 1), std::vector<std::string>{"b"});
    EXPECT_TRUE(log->Contains(" I. Profile object loaded: a.profile"));
    EXPECT_TRUE(log->Contains(" I. Setting object loaded: b.setting"));
    EXPECT_EQ(log->Count("object loaded"), 2);
    // Saved objects without general.dat: something was lost.
    EXPECT_TRUE(log->Contains(" W. SaveManager:LoadEverything - can't open file: " + dir + "/general.dat"));
    EXPECT_EQ(static_cast<TestProfile*>(m->GetCurProfile())->m_Score, 7u);
    EXPECT_NE((ZYN_Cast<OrvSettings, Object>(m->FindObject("b", nullptr, 1))), nullptr);
    m->Clear();
}

TEST_F(SaveManagerTest, DamagedFilesAreSkippedWithTheirMessages) {
    const std::string dir = MakeSaveDir("damaged");
    const Bytes good = ProfileStream("good", 3);
    WriteBytes(dir + "/good.profile", good);
    WriteBytes(dir + "/cut.profile", Bytes(good.begin(), good.begin() + long(good.size()) - 3));
    WriteBytes(dir + "/empty.profile", Bytes());
    WriteBytes(dir + "/garbage.setting", Bytes(64, 0xFF));
    // A huge length claim at the very start.
    WriteBytes(dir + "/claim.setting", Bytes{0xFF, 0xFF, 0xFF, 0x7F, 'O', 'r', 'v'});
    // An object of a class nobody knows.
    Object plain("plain");
    WriteBytes(dir + "/plain.setting", StreamOf(&plain));
    // Bigger than any save file; sparse, so it costs no disk.
    WriteBytes(dir + "/huge.profile", good);
    ASSERT_EQ(truncate((dir + "/huge.profile").c_str(), 64l << 20), 0);
    // Opening a pipe would wait for a writer forever.
    ASSERT_EQ(mkfifo((dir + "/pipe.profile").c_str(), 0600), 0);
    // A readable stream whose object name would escape the directory.
    WriteBytes(dir + "/escape.profile", ProfileStream("../escape", 1));

    ScopedLogCapture log;
    LocalManager m;
    m->Load("Orvanthe", "damaged");
    EXPECT_EQ(Names(m.Get(), 0), std::vector<std::string>{"good"});
    EXPECT_TRUE(Names(m.Get(), 1).empty());
    for (const char* name : {"cut.profile", "empty.profile", "huge.profile"})
        EXPECT_TRUE(log->Contains(std::string(" W. Failed to load profile: ") + name)) << name;
    for (const char* name : {"garbage.setting", "claim.setting", "plain.setting"})
        EXPECT_TRUE(log->Contains(std::string(" W. Failed to load settings object: ") + name)) << name;
    EXPECT_FALSE(log->Contains("pipe.profile"));
    EXPECT_TRUE(log->Contains("SaveManager::InsertObject failed - unsafe object name: ../escape"));
    EXPECT_FALSE(fs::exists(m_Config + "/escape.files"));
    // Only the good profile is alive: the refused one was released.
    EXPECT_EQ(TestProfile::ms_Live, 1);
    m->Clear();
}

TEST_F(SaveManagerTest, GeneralDatChoosesTheCurrentProfile) {
    const std::string dir = MakeSaveDir("general");
    WriteBytes(dir + "/a.profile", ProfileStream("a", 1));
    WriteBytes(dir + "/b.profile", ProfileStream("b", 2));
    ScopedLogCapture log;

    WriteBytes(dir + "/general.dat", GeneralDat("b"));
    {
        LocalManager m;
        m->Load("Orvanthe", "general");
        ASSERT_NE(m->GetCurProfile(), nullptr);
        EXPECT_EQ(m->GetCurProfile()->GetName(), "b");
        m->Clear();
    }
    // A profile that no longer exists leaves none current.
    WriteBytes(dir + "/general.dat", GeneralDat("gone"));
    {
        LocalManager m;
        m->Load("Orvanthe", "general");
        EXPECT_EQ(Names(m.Get(), 0).size(), 2u);
        EXPECT_EQ(m->GetCurProfile(), nullptr);
        m->Clear();
    }
    // The name is matched exactly.
    WriteBytes(dir + "/general.dat", GeneralDat("B"));
    {
        LocalManager m;
        m->Load("Orvanthe", "general");
        EXPECT_EQ(m->GetCurProfile(), nullptr);
        m->Clear();
    }
    // Unreadable or missing: the first profile stays current.
    for (const Bytes& bad : {Bytes{0x10, 0, 0, 0, 'a'}, Bytes{0x01}}) {
        WriteBytes(dir + "/general.dat", bad);
        LocalManager m;
        m->Load("Orvanthe", "general");
        ASSERT_NE(m->GetCurProfile(), nullptr);
        EXPECT_EQ(m->GetCurProfile()->GetName(), Names(m.Get(), 0).front());
        m->Clear();
    }
    EXPECT_EQ(log->Count("SaveManager:LoadEverything - can't read file: " + dir + "/general.dat"), 2);
    fs::remove(dir + "/general.dat");
    fs::create_directory(dir + "/general.dat");
    {
        LocalManager m;
        m->Load("Orvanthe", "general");
        EXPECT_NE(m->GetCurProfile(), nullptr);
        EXPECT_TRUE(
            log->Contains(" W. SaveManager:LoadEverything - can't open file: " + dir + "/general.dat"));
        m->Clear();
    }
}

TEST_F(SaveManagerTest, LoadEverythingNeedsAnExistingSavePath) {
    ScopedLogCapture log;
    LocalManager m;
    m->LoadEverything();
    EXPECT_TRUE(log->Contains(" W. SaveManager:LoadEverything failed due to uninitialized save path..."));
    // The preferences folder is a regular file: nothing can be created below it.
    WriteBytes(m_Config, Bytes{1});
    m->Load("Orvanthe", "nowhere");
    EXPECT_TRUE(
        log->Contains("SaveManager: Could not create dir or dir exists: " + m_Config + "/Orvanthe_nowhere"));
    EXPECT_TRUE(log->Contains(" W. SaveManager:LoadEverything failed - save path does not exist"));
}

TEST_F(SaveManagerTest, InsertionRefusesTakenAndUnsafeNames) {
    ScopedLogCapture log;
    LocalManager m;
    m->Load("Orvanthe", "names");
    TestProfile* anna = new TestProfile("anna");
    ASSERT_EQ(m->InsertObject(anna, -1, 0, nullptr), 0);
    EXPECT_TRUE(fs::is_directory(m->GetSavePath() + std::string("/anna.files")));
    EXPECT_EQ(m->GetCurProfile(), anna);

    TestProfile upper("Anna");
    EXPECT_EQ(m->InsertObject(&upper, 0, 0, nullptr), -2);
    OrvSettings settings("ANNA");
    EXPECT_EQ(m->InsertObject(&settings, 1, 0, nullptr), -2);
    EXPECT_TRUE(log->Contains(" W. SaveManager::InsertObject failed - name already used by a profile: Anna"));
    EXPECT_FALSE(m->IsProfileNameValid("aNNa"));
    EXPECT_FALSE(m->IsProfileNameValid(nullptr));
    EXPECT_TRUE(m->IsProfileNameValid("bert"));

    for (const char* name : {"", "a/b", "..", "x..y", "/abs"}) {
        TestProfile bad(name);
        EXPECT_EQ(m->InsertObject(&bad, 0, 0, nullptr), -2) << name;
        EXPECT_EQ(bad.GetObjectParentCount(), 0u);
        EXPECT_EQ(bad.GetRefCount(), 0);
        EXPECT_FALSE(m->IsProfileNameValid(name)) << name;
        EXPECT_TRUE(
            log->Contains(std::string("SaveManager::InsertObject failed - unsafe object name: ") + name));
    }
    TestProfile tooLong(std::string(248, 'n').c_str());
    EXPECT_EQ(m->InsertObject(&tooLong, 0, 0, nullptr), -2);
    EXPECT_EQ(m->InsertObject(nullptr, 0, 0, nullptr), -2);

    // A settings object gets no profile directory.
    OrvSettings* kept = new OrvSettings("options");
    EXPECT_EQ(m->InsertObject(kept, 1, 0, nullptr), 1);
    EXPECT_FALSE(fs::exists(m->GetSavePath() + std::string("/options.files")));
    EXPECT_EQ(Names(m.Get(), 0), std::vector<std::string>{"anna"});
    m->Clear();
}

TEST_F(SaveManagerTest, NoFilesAreTouchedWithoutASavePath) {
    ScopedLogCapture log;
    LocalManager m;
    const std::string name = "zyn_save_manager_probe";
    TestProfile* p = new TestProfile(name.c_str());
    ASSERT_EQ(m->InsertObject(p, 0, 0, nullptr), 0);
    EXPECT_FALSE(fs::exists("/" + name + ".files"));
    EXPECT_FALSE(fs::exists(name + ".files"));
    EXPECT_EQ(m->OpenProfileFile("x.bin", "wb", nullptr), nullptr);
    EXPECT_FALSE(m->RemoveProfileFile(nullptr, name.c_str()));
    EXPECT_EQ(m->RemoveObject(p, 0), 1);

    EXPECT_FALSE(m->Save(0, false));
    EXPECT_TRUE(log->Contains(" W. SaveManager:Save failed due to uninitialized save path..."));
    EXPECT_FALSE(fs::exists("general.dat"));
    EXPECT_FALSE(fs::exists("/general.dat"));
}

TEST_F(SaveManagerTest, CurrentProfileFollowsRemovals) {
    LocalManager m;
    m->Load("Orvanthe", "removals");
    TestProfile* a = new TestProfile("a");
    TestProfile* b = new TestProfile("b");
    TestProfile* c = new TestProfile("c");
    ASSERT_EQ(m->InsertObject(a, 0, 1, nullptr), 0);
    ASSERT_EQ(m->InsertObject(b, 0, 1, nullptr), 0);
    ASSERT_EQ(m->InsertObject(c, 0, 1, nullptr), 0);
    EXPECT_EQ(m->GetCurProfile(), a);

    m->SetCurProfile(c);
    EXPECT_EQ(m->GetCurProfile(), c);
    TestProfile outsider("c");
    m->SetCurProfile(&outsider);
    EXPECT_EQ(m->GetCurProfile(), c);

    ASSERT_TRUE(m->Save(0, false));
    const std::string dir = m->GetSavePath();
    // Removing a profile that was not current still makes the first one current.
    EXPECT_EQ(m->RemoveObject(b, 0), 1);
    EXPECT_EQ(m->GetCurProfile(), a);
    EXPECT_FALSE(fs::exists(dir + "/b.profile"));
    EXPECT_FALSE(fs::exists(dir + "/b.files"));
    EXPECT_TRUE(fs::exists(dir + "/a.profile"));
    EXPECT_TRUE(fs::exists(dir + "/c.files"));

    EXPECT_EQ(m->RemoveObject(a, -1), 1);
    EXPECT_EQ(m->GetCurProfile(), c);
    EXPECT_EQ(m->RemoveObject(&outsider, 0), 0);
    EXPECT_EQ(m->RemoveObject(nullptr, 0), 0);
    EXPECT_EQ(m->RemoveObject(c, 0), 1);
    EXPECT_EQ(m->GetCurProfile(), nullptr);
    EXPECT_EQ(TestProfile::ms_Live, 1);  // the outsider
}

TEST_F(SaveManagerTest, RemovingSettingsKeepsTheProfileOfTheSameName) {
    LocalManager m;
    m->Load("Orvanthe", "shared");
    OrvSettings* settings = new OrvSettings("shared");
    ASSERT_EQ(m->InsertObject(settings, 1, 0, nullptr), 1);
    // Only profile names are compared, so a profile may take the name.
    TestProfile* profile = new TestProfile("shared", 5);
    ASSERT_EQ(m->InsertObject(profile, 0, 0, nullptr), 0);
    ASSERT_TRUE(m->Save(0, false));
    const std::string dir = m->GetSavePath();
    EXPECT_EQ(m->RemoveObject(settings, 1), 1);
    EXPECT_TRUE(fs::exists(dir + "/shared.profile"));
    EXPECT_TRUE(fs::is_directory(dir + "/shared.files"));
    EXPECT_EQ(m->GetCurProfile(), profile);
    m->Clear();
}

TEST_F(SaveManagerTest, ProfileFilesOpenAndRemove) {
    ScopedLogCapture log;
    LocalManager m;
    m->Load("Orvanthe", "files");
    const std::string dir = m->GetSavePath();
    EXPECT_EQ(m->OpenProfileFile("x.bin", "wb", nullptr), nullptr);
    EXPECT_FALSE(m->RemoveProfileFile("x.bin", nullptr));

    TestProfile* anna = new TestProfile("anna");
    ASSERT_EQ(m->InsertObject(anna, 0, 0, nullptr), 0);
    File* f = m->OpenProfileFile("replay.bin", "wb", nullptr);
    ASSERT_NE(f, nullptr);
    const u32 value = 0x01020304;
    EXPECT_EQ(f->Write32(&value, 1), 1u);
    delete f;
    EXPECT_EQ(ReadBytes(dir + "/anna.files/replay.bin"), (Bytes{4, 3, 2, 1}));
    EXPECT_EQ(m->OpenProfileFile("missing.bin", "rb", "anna"), nullptr);
    EXPECT_EQ(m->OpenProfileFile("../../out.bin", "wb", nullptr), nullptr);
    EXPECT_EQ(m->OpenProfileFile("out.bin", "wb", ".."), nullptr);
    EXPECT_FALSE(fs::exists(dir + "/../out.bin"));
    // Opening creates the directory of a profile that is not loaded.
    f = m->OpenProfileFile("note.txt", "wb", "bert");
    ASSERT_NE(f, nullptr);
    delete f;
    EXPECT_TRUE(fs::exists(dir + "/bert.files/note.txt"));

    EXPECT_TRUE(m->RemoveProfileFile("replay.bin", nullptr));
    EXPECT_TRUE(log->Contains(" I. Removing profile files: replay.bin, (null)"));
    EXPECT_FALSE(m->RemoveProfileFile("replay.bin", nullptr));
    EXPECT_FALSE(m->RemoveProfileFile("../general.dat", "anna"));

    // Without a directory there is nothing to delete: success.
    EXPECT_TRUE(m->RemoveProfileFile(nullptr, "nobody"));
    // A directory with files goes with its contents.
    EXPECT_TRUE(m->RemoveProfileFile(nullptr, "bert"));
    EXPECT_FALSE(fs::exists(dir + "/bert.files"));
    EXPECT_TRUE(m->RemoveProfileFile(nullptr, nullptr));
    EXPECT_FALSE(fs::exists(dir + "/anna.files"));
    EXPECT_FALSE(m->RemoveProfileFile(nullptr, "a/b"));
    EXPECT_TRUE(fs::is_directory(dir));
    m->Clear();
}

TEST_F(SaveManagerTest, SaveAndLoadRoundTrip) {
    const float detail = ParticleEmitter::ms_ParDetail;
    std::string dir;
    {
        LocalManager m;
        m->Load("Orvanthe", "roundtrip");
        dir = m->GetSavePath();
        OrvSettings* defaults = new OrvSettings("settings");
        OrvSettings* changed = new OrvSettings("changed");
        changed->m_fValue1 = 0.5f;
        changed->m_bHighDetail = false;
        changed->m_bTrophyVariant = true;
        ASSERT_EQ(m->InsertObject(defaults, 1, 0, nullptr), 1);
        ASSERT_EQ(m->InsertObject(changed, 1, 0, nullptr), 1);
        ASSERT_EQ(m->InsertObject(new TestProfile("anna", 42), 0, 0, nullptr), 0);
        TestProfile* bert = new TestProfile("bert", 7);
        ASSERT_EQ(m->InsertObject(bert, 0, 1, nullptr), 0);
        m->SetCurProfile(bert);
        EXPECT_TRUE(m->Save(2, true));
        m->Clear();
    }

    EXPECT_EQ(ReadBytes(dir + "/general.dat"), (Bytes{4, 0, 0, 0, 'b', 'e', 'r', 't'}));
    const Bytes expected = {11,   0,    0,    0,    'O',  'r',  'v',  'S',  'e',  't',  't',  'i',
                            'n',  'g',  's',  1,    0,    0,    0,    8,    0,    0,    0,    's',
                            'e',  't',  't',  'i',  'n',  'g',  's',  0x00, 0x00, 0x00, 0x40, 0x3F,
                            0x00, 0x00, 0x40, 0x3F, 0x01, 0x01, 0x00, 0x00, 0,    0,    0,    0};
    EXPECT_EQ(ReadBytes(dir + "/settings.setting"), expected);
    EXPECT_EQ(ReadBytes(dir + "/anna.profile"), ProfileStream("anna", 42));
    for (const auto& entry : fs::directory_iterator(dir))
        EXPECT_NE(entry.path().extension().string(), ".tmp") << entry.path().string();

    LocalManager m;
    m->Load("Orvanthe", "roundtrip");
    ASSERT_NE(m->GetCurProfile(), nullptr);
    EXPECT_EQ(m->GetCurProfile()->GetName(), "bert");
    auto* anna = ZYN_Cast<TestProfile, Object>(m->FindObject("anna", nullptr, 0));
    ASSERT_NE(anna, nullptr);
    EXPECT_EQ(anna->m_Score, 42u);
    auto* changed = ZYN_Cast<OrvSettings, Object>(m->FindObject("changed", nullptr, 1));
    auto* defaults = ZYN_Cast<OrvSettings, Object>(m->FindObject("settings", nullptr, 1));
    ASSERT_NE(changed, nullptr);
    ASSERT_NE(defaults, nullptr);
    EXPECT_EQ(changed->m_fValue1, 0.5f);
    EXPECT_FALSE(changed->m_bHighDetail);
    EXPECT_TRUE(changed->m_bTrophyVariant);
    EXPECT_EQ(defaults->m_fValue2, 0.75f);
    EXPECT_TRUE(defaults->m_bWidescreen);
    m->Clear();
    ParticleEmitter::ms_ParDetail = detail;
}

TEST_F(SaveManagerTest, DestructionSavesOnlyWhenAsked) {
    const size_t rootObjects = Singleton<Root>::Get()->GetUpdateGroup().GetList().size();
    LocalManager quiet;
    quiet->Load("Orvanthe", "destruct");
    TestProfile* kept = new TestProfile("kept");
    kept->AddRef();
    ASSERT_EQ(quiet->InsertObject(kept, 0, 0, nullptr), 0);
    EXPECT_EQ(kept->GetRefCount(), 2);
    const std::string dir = quiet->GetSavePath();
    quiet.Destroy();
    EXPECT_FALSE(fs::exists(dir + "/general.dat"));
    // The manager gave its reference back and left the Root.
    EXPECT_EQ(kept->GetRefCount(), 1);
    EXPECT_EQ(kept->GetObjectParentCount(), 0u);
    EXPECT_EQ(Singleton<Root>::Get()->GetUpdateGroup().GetList().size(), rootObjects);

    LocalManager saving;
    saving->SetSaveOnDestruction(true);
    saving->Load("Orvanthe", "destruct");
    ASSERT_EQ(saving->InsertObject(kept, 0, 0, nullptr), 0);
    kept->Release();
    saving.Destroy();
    EXPECT_EQ(ReadBytes(dir + "/kept.profile"), ProfileStream("kept", 0));
    EXPECT_EQ(ReadBytes(dir + "/general.dat"), GeneralDat("kept"));
}

class AtomicSaveTest : public SaveManagerTest {
protected:
    // Saves a, b and a settings object once, then changes every value.
    void SaveFirstVersion(LocalManager& m) {
        m->Load("Orvanthe", "atomic");
        m_Dir = m->GetSavePath();
        m_A = new TestProfile("a", 1);
        m_B = new TestProfile("b", 2);
        m_Settings = new OrvSettings("settings");
        ASSERT_EQ(m->InsertObject(m_A, 0, 1, nullptr), 0);
        ASSERT_EQ(m->InsertObject(m_B, 0, 1, nullptr), 0);
        ASSERT_EQ(m->InsertObject(m_Settings, 1, 0, nullptr), 1);
        ASSERT_TRUE(m->Save(0, false));
        m_Before = Snapshot();
        m_A->m_Score = 100;
        m_B->m_Score = 200;
        m_Settings->m_bOption3 = true;
        m->SetCurProfile(m_B);
    }

    std::vector<Bytes> Snapshot() {
        std::vector<Bytes> files;
        for (const char* name : {"general.dat", "a.profile", "b.profile", "settings.setting"})
            files.push_back(ReadBytes(m_Dir + "/" + name));
        return files;
    }

    int CountTemporaries() {
        int n = 0;
        for (const auto& entry : fs::directory_iterator(m_Dir))
            if (entry.path().extension() == ".tmp" && fs::is_regular_file(entry.path())) ++n;
        return n;
    }

    std::string m_Dir;
    TestProfile* m_A = nullptr;
    TestProfile* m_B = nullptr;
    OrvSettings* m_Settings = nullptr;
    std::vector<Bytes> m_Before;
};

TEST_F(AtomicSaveTest, AFileThatCannotBeCreatedLosesNothing) {
    LocalManager m;
    SaveFirstVersion(m);
    // Something in the way of b's new file: general.dat and a were already written.
    fs::create_directory(m_Dir + "/b.profile.tmp");
    ScopedLogCapture log;
    EXPECT_FALSE(m->Save(0, false));
    EXPECT_TRUE(log->Contains(" W. SaveManager:Save failed - can't open file: " + m_Dir + "/b.profile"));
    EXPECT_EQ(Snapshot(), m_Before);
    EXPECT_EQ(CountTemporaries(), 0);

    fs::remove(m_Dir + "/b.profile.tmp");
    EXPECT_TRUE(m->Save(0, false));
    EXPECT_NE(Snapshot(), m_Before);
    EXPECT_EQ(ReadBytes(m_Dir + "/b.profile"), ProfileStream("b", 200));
    m->Clear();
}

TEST_F(AtomicSaveTest, AReadOnlyDirectoryLosesNothing) {
    LocalManager m;
    SaveFirstVersion(m);
    MakeReadOnly(m_Dir);
    if (access(m_Dir.c_str(), W_OK) == 0) {
        m->Clear();
        GTEST_SKIP() << "permissions do not stop this user from writing";
    }
    ScopedLogCapture log;
    EXPECT_FALSE(m->Save(0, false));
    EXPECT_TRUE(log->Contains(" W. SaveManager:Save failed - can't open file: " + m_Dir + "/general.dat"));
    EXPECT_EQ(Snapshot(), m_Before);
    m->Clear();
}

TEST_F(AtomicSaveTest, AnObjectThatFailsToSaveLosesNothing) {
    LocalManager m;
    SaveFirstVersion(m);
    m_B->m_bFailSave = true;
    ScopedLogCapture log;
    EXPECT_FALSE(m->Save(0, false));
    EXPECT_TRUE(log->Contains(" W. SaveManager:Save failed - can't save object: b"));
    EXPECT_EQ(Snapshot(), m_Before);
    EXPECT_EQ(CountTemporaries(), 0);

    // Renamed after insertion into a name that would escape the folder.
    m_B->m_bFailSave = false;
    m_B->SetName("../b");
    EXPECT_FALSE(m->Save(0, false));
    EXPECT_TRUE(log->Contains(" W. SaveManager:Save failed - unsafe object name: ../b"));
    EXPECT_FALSE(fs::exists(m_Dir + "/../b.profile"));
    EXPECT_EQ(Snapshot(), m_Before);
    m->Clear();
}

TEST_F(AtomicSaveTest, GeneralDatIsReplacedLast) {
    LocalManager m;
    SaveFirstVersion(m);
    // A non-empty directory where b's file belongs cannot be replaced.
    fs::remove(m_Dir + "/b.profile");
    fs::create_directories(m_Dir + "/b.profile/inside");
    ScopedLogCapture log;
    EXPECT_FALSE(m->Save(0, false));
    EXPECT_TRUE(log->Contains(" W. SaveManager:Save failed - can't replace file: " + m_Dir + "/b.profile"));
    // general.dat still names the old current profile.
    EXPECT_EQ(ReadBytes(m_Dir + "/general.dat"), m_Before[0]);
    EXPECT_EQ(CountTemporaries(), 0);
    m->Clear();
}

TEST_F(AtomicSaveTest, ASaveDirectoryThatIsGoneFailsCleanly) {
    LocalManager m;
    SaveFirstVersion(m);
    fs::remove_all(m_Dir);
    // The parent is now a regular file: not even the superuser can write below it.
    WriteBytes(m_Dir, Bytes{0});
    ScopedLogCapture log;
    EXPECT_FALSE(m->Save(0, false));
    EXPECT_TRUE(log->Contains("SaveManager:Save failed - can't open file: " + m_Dir + "/general.dat"));
    EXPECT_EQ(ReadBytes(m_Dir), Bytes{0});
    m->Clear();
}

}  // namespace SaveTest
