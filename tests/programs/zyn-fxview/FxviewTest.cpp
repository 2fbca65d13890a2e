// zyn-fxview end to end: an effect and a pack built here are played by the
// program, and its frames and contact sheet are read back.
#include <gtest/gtest.h>

#include <filesystem>

#include <zyn/io/PacPackage.h>

#include "programs/support/ProgramTestUtil.h"

using namespace ZynTest;

namespace {

struct Rgb {
    int r, g, b;
};

Rgb At(const Bytes& rgba, int w, int x, int y) {
    const size_t i = (size_t(y) * size_t(w) + size_t(x)) * 4;
    return {rgba[i], rgba[i + 1], rgba[i + 2]};
}

int LitCount(const Bytes& rgba, int w, int x1, int y1, int x2, int y2) {
    int n = 0;
    for (int y = y1; y < y2; ++y)
        for (int x = x1; x < x2; ++x) {
            const Rgb p = At(rgba, w, x, y);
            n += (p.r > 24 || p.g > 24 || p.b > 24) ? 1 : 0;
        }
    return n;
}

/// The effect of MakeEffect in effects/burst.zyn, its glow texture in art.pac.
class FxviewFixture : public ::testing::Test {
protected:
    void SetUp() override {
        Zyn::Ref<Zyn::Object> effect(MakeEffect("fx\\glow.tga"));
        ASSERT_TRUE(WriteStream(effect.Get(), m_Dir / "effects/burst.zyn"));
        WriteBytes(m_Dir / "glow.tga", GlowTga());
        ASSERT_TRUE(Zyn::PacPackage::CreatePacPackage(
            std::vector<Zyn::PacPackage::Source>{{"fx\\glow.tga", m_Dir / "glow.tga"}},
            (m_Dir / "art.pac").c_str()));
    }
    RunResult Fxview(const std::vector<std::string>& args) {
        return RunProgram(ZYN_FXVIEW_PATH, m_Dir, args);
    }

    TempDir m_Dir;
};

}  // namespace

TEST_F(FxviewFixture, WritesEveryFrameAndAContactSheetWithTheParticles) {
    RunResult r = Fxview({"effects/burst.zyn", "--pack", "art.pac", "--seconds", "1", "--fps", "20", "--size",
                          "128x96", "--out", "out"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Wrote 20 frames of 128x96 to out/frame-00000.png ... frame-00019.png\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("Wrote the contact sheet of 16 frames with their times to out/contact.png\n"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(r.err, "");

    for (int k = 0; k < 20; ++k) {
        char name[32];
        std::snprintf(name, sizeof name, "out/frame-%05d.png", k);
        EXPECT_TRUE(std::filesystem::is_regular_file(m_Dir / name)) << name;
    }
    EXPECT_FALSE(std::filesystem::exists(m_Dir / "out/frame-00020.png"));

    int w = 0, h = 0;
    Bytes rgba;
    ASSERT_TRUE(ReadPng(m_Dir / "out/frame-00019.png", w, h, rgba));
    ASSERT_EQ(w, 128);
    ASSERT_EQ(h, 96);
    // The spray rises from the middle; below it the frame stays black.
    EXPECT_GT(LitCount(rgba, w, 34, 8, 94, 56), 200);
    EXPECT_EQ(LitCount(rgba, w, 0, 80, 16, 96), 0);
    EXPECT_EQ(LitCount(rgba, w, 112, 80, 128, 96), 0);
    const Rgb centre = At(rgba, w, 64, 40);
    EXPECT_GT(centre.r, centre.b) << "the particles are drawn in their warm colours";

    ASSERT_TRUE(ReadPng(m_Dir / "out/contact.png", w, h, rgba));
    EXPECT_EQ(w, 4 * 128);
    EXPECT_EQ(h, 4 * (96 + 14));
    // Every tile shows particles, and every label strip carries its time.
    for (int tile = 1; tile < 16; ++tile) {
        const int x = (tile % 4) * 128, y = (tile / 4) * 110;
        EXPECT_GT(LitCount(rgba, w, x + 34, y + 8, x + 94, y + 56), 0) << "tile " << tile;
        EXPECT_GT(LitCount(rgba, w, x, y + 96, x + 128, y + 110), 20) << "label " << tile;
    }
}

TEST_F(FxviewFixture, TwoRunsGiveTheSameBytesAndTheOptionsApply) {
    const std::vector<std::string> common = {"effects/burst.zyn",
                                             "--pack=art.pac",
                                             "--seconds",
                                             "0.5",
                                             "--fps",
                                             "10",
                                             "--size",
                                             "64x48",
                                             "--position",
                                             "32,40",
                                             "--scale",
                                             "0.5",
                                             "--power",
                                             "0.8",
                                             "--background",
                                             "203040"};
    std::vector<std::string> one = common, two = common;
    one.insert(one.end(), {"--out", "one"});
    two.insert(two.end(), {"--out", "two"});
    RunResult r = Fxview(one);
    ASSERT_EQ(r.status, 0) << r.err;
    r = Fxview(two);
    ASSERT_EQ(r.status, 0) << r.err;

    int files = 0;
    for (const auto& e : std::filesystem::directory_iterator(m_Dir / "one")) {
        const std::string name = e.path().filename().string();
        EXPECT_EQ(ReadBytes(m_Dir / ("one/" + name)), ReadBytes(m_Dir / ("two/" + name))) << name;
        ++files;
    }
    EXPECT_EQ(files, 5 + 1);

    int w = 0, h = 0;
    Bytes rgba;
    ASSERT_TRUE(ReadPng(m_Dir / "one/frame-00004.png", w, h, rgba));
    ASSERT_EQ(w, 64);
    const Rgb corner = At(rgba, w, 63, 0);
    EXPECT_EQ(corner.r, 0x20);
    EXPECT_EQ(corner.g, 0x30);
    EXPECT_EQ(corner.b, 0x40);
    // Scaled to half, the spray stays within about 40 pixels above its place.
    EXPECT_GT(LitCount(rgba, w, 22, 20, 42, 44), 0);
    ASSERT_TRUE(ReadPng(m_Dir / "one/contact.png", w, h, rgba));
    EXPECT_EQ(w, 4 * 64);
    EXPECT_EQ(h, 2 * (48 + 14));
}

TEST_F(FxviewFixture, BadInputGetsAClearMessage) {
    WriteBytes(m_Dir / "noise.zyn", Pattern(64, 5));
    struct Case {
        std::vector<std::string> args;
        int status;
        const char* message;
    };
    const std::vector<Case> cases = {
        {{}, 2, "no effect file given"},
        {{"a.zyn", "b.zyn"}, 2, "give exactly one effect file"},
        {{"effects/burst.zyn", "--bogus"}, 2, "unknown option --bogus"},
        {{"effects/burst.zyn", "--fps"}, 2, "option --fps needs a value"},
        {{"effects/burst.zyn", "--fps", "abc"}, 2, "--fps takes a frame rate from 4 to 1000, not \"abc\""},
        {{"effects/burst.zyn", "--fps", "2"}, 2, "--fps takes a frame rate from 4 to 1000, not \"2\""},
        {{"effects/burst.zyn", "--seconds", "0"}, 2, "--seconds takes a number of seconds above 0"},
        {{"effects/burst.zyn", "--seconds", "-1"}, 2, "--seconds takes a number of seconds above 0"},
        {{"effects/burst.zyn", "--seconds", "1e9"}, 2, "--seconds takes"},
        {{"effects/burst.zyn", "--size", "10x10"}, 2, "--size takes WIDTHxHEIGHT, each from 16 to 4096"},
        {{"effects/burst.zyn", "--size", "128"}, 2, "--size takes WIDTHxHEIGHT"},
        {{"effects/burst.zyn", "--size", "-64x64"}, 2, "--size takes WIDTHxHEIGHT"},
        {{"effects/burst.zyn", "--position", "5"}, 2, "--position takes X,Y"},
        {{"effects/burst.zyn", "--position", "5,nan"}, 2, "--position takes X,Y"},
        {{"effects/burst.zyn", "--scale", "0"}, 2, "--scale takes a number above 0"},
        {{"effects/burst.zyn", "--power", "-1"}, 2, "--power takes a number from 0 to 1000"},
        {{"effects/burst.zyn", "--background", "red"}, 2, "--background takes a colour as RRGGBB"},
        {{"effects/burst.zyn", "--seconds", "0.01", "--fps", "10"}, 2, "give no frame to write"},
        {{"missing.zyn", "--out", "bad"}, 1, "cannot read missing.zyn: no such file"},
        {{"effects", "--out", "bad"}, 1, "cannot read effects: not a regular file"},
        {{"effects/burst.zyn", "--pack", "missing.pac", "--out", "bad"}, 1, "cannot open pack missing.pac"},
        {{"noise.zyn", "--seconds", "0.5", "--out", "bad"}, 1, "cannot load the effect noise.zyn"},
    };
    for (const Case& c : cases) {
        std::string joined;
        for (const std::string& a : c.args) joined += a + " ";
        SCOPED_TRACE(joined);
        RunResult r = Fxview(c.args);
        EXPECT_EQ(r.status, c.status);
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    }
    EXPECT_FALSE(std::filesystem::exists(m_Dir / "bad/frame-00000.png"));
    EXPECT_FALSE(std::filesystem::exists(m_Dir / "fxview-out"));
}
