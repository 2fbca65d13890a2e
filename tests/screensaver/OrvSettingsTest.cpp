#include <gtest/gtest.h>

#include <vector>

#include <screensaver/OrvSettings.h>
#include <zyn/core/BasicSerializator.h>
#include <zyn/io/MemoryFile.h>
#include <zyn/io/VectorFile.h>
#include <zyn/particles/ParticleEmitter.h>

using namespace Zyn;

namespace {

typedef std::vector<unsigned char> Bytes;

Bytes SavedData(OrvSettings& settings) {
    VectorFile file;
    BasicSerializator s(&file);
    EXPECT_TRUE(settings.Save(s));
    return file.GetVector();
}

bool LoadData(OrvSettings& settings, const Bytes& data) {
    VectorFile file(data);
    BasicSerializator s(&file);
    return settings.Load(s);
}

class OrvSettingsTest : public ::testing::Test {
protected:
    void SetUp() override { m_Detail = ParticleEmitter::ms_ParDetail; }
    void TearDown() override { ParticleEmitter::ms_ParDetail = m_Detail; }
    float m_Detail = 1.0f;
};

TEST_F(OrvSettingsTest, DefaultDataIsThirteenBytes) {
    OrvSettings settings;
    EXPECT_EQ(SavedData(settings),
              (Bytes{0x00, 0x00, 0x00, 0x40, 0x3F, 0x00, 0x00, 0x40, 0x3F, 0x01, 0x01, 0x00, 0x00}));
    EXPECT_EQ(OrvSettings::ms_pInstance, &settings);
}

TEST_F(OrvSettingsTest, LoadedDetailFlagSetsTheParticleDetail) {
    ParticleEmitter::ms_ParDetail = 0.5f;
    OrvSettings settings;
    EXPECT_EQ(ParticleEmitter::ms_ParDetail, 1.0f);
    ASSERT_TRUE(LoadData(
        settings, Bytes{0x01, 0x00, 0x00, 0x00, 0x3F, 0x00, 0x00, 0x80, 0x3E, 0x00, 0x00, 0x01, 0x01}));
    EXPECT_EQ(ParticleEmitter::ms_ParDetail, 0.75f);
    EXPECT_TRUE(settings.m_bOption0);
    EXPECT_EQ(settings.m_fValue1, 0.5f);
    EXPECT_EQ(settings.m_fValue2, 0.25f);
    EXPECT_FALSE(settings.m_bWidescreen);
    EXPECT_FALSE(settings.m_bHighDetail);
    EXPECT_TRUE(settings.m_bOption3);
    EXPECT_TRUE(settings.m_bTrophyVariant);
    // A stored byte other than 0 or 1 still reads as a flag.
    ASSERT_TRUE(LoadData(settings, Bytes{0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0x00, 0x07, 0x00, 0x00}));
    EXPECT_TRUE(settings.m_bHighDetail);
    EXPECT_EQ(ParticleEmitter::ms_ParDetail, 1.0f);
}

TEST_F(OrvSettingsTest, ShortStreamsKeepTheRemainingValues) {
    OrvSettings settings;
    EXPECT_FALSE(LoadData(settings, Bytes()));
    EXPECT_EQ(settings.m_fValue1, 0.75f);

    // The first byte arrives, the rest is cut inside the second float.
    ASSERT_TRUE(LoadData(settings, Bytes{0x01, 0x00, 0x00, 0x00, 0x3F, 0x00, 0x00}));
    EXPECT_TRUE(settings.m_bOption0);
    EXPECT_EQ(settings.m_fValue1, 0.5f);
    EXPECT_EQ(settings.m_fValue2, 0.75f);
    EXPECT_TRUE(settings.m_bHighDetail);
    EXPECT_FALSE(settings.m_bTrophyVariant);

    // A stream that takes no byte makes Save fail.
    const unsigned char fixed[1] = {0};
    MemoryFile readOnly(fixed, 1u);
    BasicSerializator s(&readOnly);
    EXPECT_FALSE(settings.Save(s));
}

}  // namespace
