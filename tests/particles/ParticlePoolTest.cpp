// The particle pool: slot size and alignment, blocks, reuse, balance.
#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <vector>

#include <zyn/particles/Particle.h>

using namespace Zyn;

TEST(ParticlePool, SlotsAre128BytesAlignedTo16InBlocksOf512) {
    const u32 live0 = ParticleAllocator::GetLiveCount();
    std::vector<Particle*> taken;
    // Enough to need at least one fresh block whatever the pool holds now.
    for (int i = 0; i < 1100; ++i) taken.push_back(ParticleAllocator::New());
    EXPECT_EQ(ParticleAllocator::GetLiveCount(), live0 + 1100);
    EXPECT_GE(ParticleAllocator::GetBlockCount(), 3u);

    std::set<uintptr_t> distinct;
    int consecutive = 0;
    for (size_t i = 0; i < taken.size(); ++i) {
        ASSERT_NE(taken[i], nullptr);
        const uintptr_t a = reinterpret_cast<uintptr_t>(taken[i]);
        EXPECT_EQ(a % 16, 0u) << i;
        distinct.insert(a);
        if (i > 0 && a == reinterpret_cast<uintptr_t>(taken[i - 1]) + 128) ++consecutive;
    }
    EXPECT_EQ(distinct.size(), taken.size());
    // A fresh block hands its 512 slots out front to back, 128 bytes apart.
    EXPECT_GE(consecutive, 511);
    // No two slots overlap.
    uintptr_t previous = 0;
    for (uintptr_t a : distinct) {
        if (previous) {
            EXPECT_GE(a - previous, 128u);
        }
        previous = a;
    }
    for (Particle* p : taken) ParticleAllocator::Delete(p);
    EXPECT_EQ(ParticleAllocator::GetLiveCount(), live0);
}

TEST(ParticlePool, FreedSlotsAreReusedNewestFirstWithoutNewBlocks) {
    Particle* a = ParticleAllocator::New();
    Particle* b = ParticleAllocator::New();
    const u32 blocks = ParticleAllocator::GetBlockCount();
    ParticleAllocator::Delete(a);
    ParticleAllocator::Delete(b);
    EXPECT_EQ(ParticleAllocator::New(), b);
    EXPECT_EQ(ParticleAllocator::New(), a);
    EXPECT_EQ(ParticleAllocator::GetBlockCount(), blocks);
    ParticleAllocator::Delete(a);
    ParticleAllocator::Delete(b);
    ParticleAllocator::Delete(nullptr);  // ignored
}

TEST(ParticlePool, BlocksGoBackOnlyWhenNoSlotIsInUse) {
    if (ParticleAllocator::GetLiveCount() != 0) GTEST_SKIP() << "particles of other tests are alive";
    Particle* p = ParticleAllocator::New();
    ASSERT_NE(p, nullptr);
    EXPECT_FALSE(ParticleAllocator::ReleaseUnused());
    EXPECT_GE(ParticleAllocator::GetBlockCount(), 1u);
    ParticleAllocator::Delete(p);
    EXPECT_TRUE(ParticleAllocator::ReleaseUnused());
    EXPECT_EQ(ParticleAllocator::GetBlockCount(), 0u);
    // The pool starts over after that.
    p = ParticleAllocator::New();
    EXPECT_NE(p, nullptr);
    EXPECT_EQ(ParticleAllocator::GetBlockCount(), 1u);
    ParticleAllocator::Delete(p);
}
