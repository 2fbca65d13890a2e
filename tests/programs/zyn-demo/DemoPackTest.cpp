// demo.pac as zyn-demo-pack built it, read back through the framework the way
// the demo reads it: every member present, the string table and resource
// list parsed by the framework's own readers, and logo images that meet their
// screens' colours without a seam.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <list>
#include <memory>
#include <set>
#include <string>

#include <zyn/core/Root.h>
#include <zyn/core/StringUtf8.h>
#include <zyn/io/File.h>
#include <zyn/io/PacPackage.h>
#include <zyn/resources/ResListParser.h>
#include <zyn/resources/ResourceTask.h>

#include "DemoContent.h"
#include "programs/support/HostTestUtil.h"
#include "support/LogCapture.h"

using Zyn::Root;

namespace {

Root* TheRoot() { return Zyn::Singleton<Root>::Get(); }

std::string ReadMember(const std::string& name) {
    std::unique_ptr<Zyn::File> file(TheRoot()->OpenFile(name.c_str(), false));
    if (!file) return std::string();
    std::string bytes;
    char buffer[4096];
    while (unsigned n = file->Read(buffer, sizeof buffer)) bytes.append(buffer, n);
    return bytes;
}

class DemoPack : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string path = std::string(ZYN_DEMO_DATA_DIR) + "/" + Demo::kPackName;
        m_pPack = new Zyn::PacPackage(path.c_str());
        m_pPack->AddRef();
        ASSERT_FALSE(m_pPack->GetDirectory().empty()) << "no pack at " << path;
        TheRoot()->InsertObject(m_pPack, Root::kPackages, 0, nullptr);
    }
    void TearDown() override {
        TheRoot()->RemoveObject(m_pPack, Root::kPackages);
        m_pPack->Release();
        TheRoot()->ClearStringTable();
    }

    Zyn::PacPackage* m_pPack = nullptr;
};

}  // namespace

TEST_F(DemoPack, HoldsEveryMemberTheDemoReadsAndNothingElse) {
    std::set<std::string> expected;
    for (const std::string& name : Demo::GeneratedMembers()) expected.insert(name);
    for (const std::string& name : Demo::SceneMembers()) expected.insert(name);
    std::set<std::string> held;
    for (const auto& entry : m_pPack->GetDirectory()) held.insert(entry.first);
    EXPECT_EQ(held, expected);
    for (const auto& entry : m_pPack->GetDirectory()) EXPECT_GT(entry.second.size, 0u) << entry.first;
}

TEST_F(DemoPack, ItsStringTableReadsBackEveryText) {
    ZynTest::ScopedLogCapture log;
    TheRoot()->ClearStringTable();
    EXPECT_EQ(TheRoot()->ReadStringTable(Demo::StringTableName().c_str()), int(Demo::TextEntries().size()));
    for (const Demo::TextEntry& e : Demo::TextEntries()) {
        ASSERT_TRUE(TheRoot()->IsStringDefined(e.key)) << e.key;
        EXPECT_EQ(*TheRoot()->GetString(e.key), e.text) << e.key;
    }
    EXPECT_FALSE(log->Contains(" W. ")) << "the reader warned";
    // The greeting's placeholder survives the file and takes the name.
    EXPECT_EQ(std::string(TheRoot()->GetString("greeting")->var(1, "Ada")), "Have fun, Ada!");
}

TEST_F(DemoPack, ItsResourceListMakesOneLoadTaskPerTextureAndEffect) {
    ZynTest::ScopedLogCapture log;
    std::unique_ptr<Zyn::File> file(TheRoot()->OpenFile(Demo::kPlaygroundList, true));
    ASSERT_TRUE(file);
    std::list<Zyn::ITask*> tasks;
    const int made = Zyn::ResListParser::ParseResourceList(*file, Zyn::RA_Load, &tasks);
    const size_t effects = Demo::PlaygroundEffects().size();
    EXPECT_EQ(made, int(3 + effects));
    std::vector<std::string> textures, effectNames;
    for (Zyn::ITask* task : tasks) {
        const Zyn::ResourceTask* r = static_cast<const Zyn::ResourceTask*>(task);
        EXPECT_EQ(r->GetAction(), Zyn::RA_Load);
        const std::string cls = r->GetResourceClass()->GetClassName();
        (cls == "Texture" ? textures : effectNames).push_back(r->GetResourceName());
        EXPECT_TRUE(cls == "Texture" || cls == "ParticleEffect") << cls;
        delete task;
    }
    EXPECT_EQ(textures,
              (std::vector<std::string>{Demo::kTempleTexture, Demo::kTrophyTexture, Demo::kParticleTexture}));
    ASSERT_EQ(effectNames.size(), effects);
    for (size_t i = 0; i < effects; ++i) EXPECT_EQ(effectNames[i], Demo::PlaygroundEffects()[i].file);
    EXPECT_FALSE(log->Contains(" W. ")) << "the parser warned";
}

TEST_F(DemoPack, ItsLogoConfigurationNamesEveryImageAndColour) {
    const std::string config = ReadMember(Demo::kLogoConfig);
    // Shorter configurations are ignored by the logo screen sequence.
    ASSERT_GE(config.size(), 25u);
    char line[128];
    std::snprintf(line, sizeof line, "screen_count = %d\n", int(Demo::LogoScreens().size()));
    EXPECT_NE(config.find(line), std::string::npos) << config;
    int n = 0;
    for (const Demo::LogoScreen& s : Demo::LogoScreens()) {
        ++n;
        std::snprintf(line, sizeof line, "screen_file_%d = %s\n", n, s.image);
        EXPECT_NE(config.find(line), std::string::npos) << line;
        std::snprintf(line, sizeof line, "screen_back_%d = %d,%d,%d\n", n, s.back[0], s.back[1], s.back[2]);
        EXPECT_NE(config.find(line), std::string::npos) << line;
    }
}

TEST_F(DemoPack, ItsLogoImagesMeetTheirScreensWithoutASeam) {
    HostTest::TempDir dir;
    for (const Demo::LogoScreen& s : Demo::LogoScreens()) {
        const std::string bytes = ReadMember(s.image);
        ASSERT_FALSE(bytes.empty()) << s.image;
        const std::string path = dir / "logo.png";
        FILE* f = std::fopen(path.c_str(), "wb");
        ASSERT_TRUE(f);
        ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), f), bytes.size());
        std::fclose(f);
        int w = 0, h = 0;
        std::vector<unsigned char> rgba;
        ASSERT_TRUE(HostTest::ReadPng(path, w, h, rgba)) << s.image;
        ASSERT_EQ(w, Demo::kLogoWidth);
        ASSERT_EQ(h, Demo::kLogoHeight);
        auto differs = [&](int x, int y) {
            const unsigned char* p = &rgba[(size_t(y) * size_t(w) + size_t(x)) * 4];
            return p[0] != s.back[0] || p[1] != s.back[1] || p[2] != s.back[2];
        };
        EXPECT_FALSE(differs(0, 0) || differs(w - 1, 0) || differs(0, h - 1) || differs(w - 1, h - 1))
            << s.image;
        // And there is a logo on it: sprites and letters cover a good part.
        int drawn = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) drawn += differs(x, y) ? 1 : 0;
        EXPECT_GT(drawn, w * h / 20) << s.image;
    }
}
