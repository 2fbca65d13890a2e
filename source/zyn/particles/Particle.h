// Particle records and the process-wide particle pool. Particles live in
// fixed-size slots handed out by Allocator<Particle, 512, 4> and never come
// from the general heap one by one. The pool takes no lock: frame thread only.
#pragma once

#include <cstddef>
#include <new>

#include <zyn/core/Types.h>

namespace Zyn {

class ParticleEmitter;

/// One particle, singly linked through m_pNext. The constructor sets nothing:
/// GenerateParticle and the emitter kinds fill every field.
struct Particle {
    Particle() {}  // NOLINT: leaves the slot as it is on purpose

    float m_fX, m_fY;
    float m_fVX, m_fVY;                         // units per second
    float m_fRed, m_fGreen, m_fBlue, m_fAlpha;  // 0-255 scale
    float m_fDRed, m_fDGreen, m_fDBlue;         // per second
    float m_fDAlpha;
    float m_fColorKeyEnd;  // age at which the colour segment ends
    float m_fAlphaKeyEnd;
    float m_fSize;
    float m_fDSize;
    float m_fSizeKeyEnd;
    float m_fAge;    // seconds since birth
    float m_fLife;   // seconds the particle lives
    float m_fAngle;  // radians
    float m_fSpin;   // rotation-curve value added to the angle
    float m_fDSpin;
    float m_fSpinKeyEnd;
    u32 m_Sprite;
    float m_fFrameTimer;
    float m_fFrameTime;  // seconds per sprite frame; 0 = not animated
    Particle* m_pNext;
    // Index of the curve key each segment runs towards.
    u8 m_ColorKey, m_AlphaKey, m_SizeKey, m_SpinKey;
};

/// The per-instance state of one emitter: its particle list and emission
/// accumulator. A plain record copied by value; all zero before use.
struct EmitterDesc {
    ParticleEmitter* m_pEmitter = nullptr;  // not owning: the effect's emitter
    Particle* m_pFirst = nullptr;           // drawn first
    Particle* m_pLast = nullptr;
    float m_fAccumulator = 0.0f;  // fractional particles owed (or burst countdown)
    u32 m_Count = 0;              // particles in the list
    u32 m_EmittedThisUpdate = 0;  // reset by the instance before each update
    u32 m_SourceReadThisUpdate = 0;  // source particles a part-part emitter read; reset likewise
};

/// Fixed-size slots of T, handed out from blocks of BlockCount slots each
/// aligned to 2^AlignShift bytes. Slots go back to a free list and return to
/// the heap only at exit, and only when none is still in use.
template <class T, unsigned int BlockCount, unsigned int AlignShift>
class Allocator {
public:
    static constexpr size_t kAlign = size_t(1) << AlignShift;
    /// Bytes per slot: sizeof(T) rounded up to the alignment.
    static constexpr size_t blockSize = (sizeof(T) + kAlign - 1) & ~(kAlign - 1);
    static constexpr size_t kBlockBytes = blockSize * BlockCount;
    /// The pool never grows beyond this many blocks, so that a runaway
    /// emitter cannot take all memory.
    static constexpr u32 kMaxBlocks = 4096;

    /// One uninitialised slot, or null when the pool is at its limit (logged once).
    static void* AllocateBlock();
    /// Gives a slot back; null is ignored.
    static void FreeBlock(void* slot);

    /// A T constructed in a new slot, or null when the pool is at its limit.
    static T* New() {
        void* p = AllocateBlock();
        return p ? new (p) T : nullptr;
    }
    static void Delete(T* p) {
        if (!p) return;
        p->~T();
        FreeBlock(p);
    }

    /// Slots handed out and not yet given back.
    static u32 GetLiveCount() { return s_Store.m_Live; }
    static u32 GetBlockCount() { return s_Store.m_BlockCount; }
    /// Frees every block when no slot is in use; returns whether it did.
    static bool ReleaseUnused();

private:
    struct FreeSlot {
        FreeSlot* m_pNext;
    };
    struct RawBlock {
        void* m_pRaw;
        RawBlock* m_pNext;
    };
    // Plain data with constant initialisation: usable from any static
    // initialiser or exit handler, whatever the order.
    struct BlockStore {
        FreeSlot* m_pFree;
        RawBlock* m_pBlocks;
        u32 m_BlockCount;
        u32 m_Live;
        bool m_bReportedFull;
    };
    static BlockStore s_Store;
};

typedef Allocator<Particle, 512, 4> ParticleAllocator;

static_assert(ParticleAllocator::blockSize == 128, "a particle slot is 128 bytes");
static_assert(ParticleAllocator::kBlockBytes == 65536, "a block holds 512 slots of 128 bytes");

extern template class Allocator<Particle, 512, 4>;

}  // namespace Zyn
