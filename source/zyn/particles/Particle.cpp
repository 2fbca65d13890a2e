#include <zyn/particles/Particle.h>

#include <cstdint>
#include <cstdlib>

#include <zyn/core/Log.h>

namespace Zyn {

template <class T, unsigned int N, unsigned int A>
typename Allocator<T, N, A>::BlockStore Allocator<T, N, A>::s_Store = {nullptr, nullptr, 0, 0, false};

template <class T, unsigned int N, unsigned int A>
void* Allocator<T, N, A>::AllocateBlock() {
    BlockStore& s = s_Store;
    if (!s.m_pFree) {
        if (s.m_BlockCount >= kMaxBlocks) {
            if (!s.m_bReportedFull)
                LogSend(kLogError, "Allocator::AllocateBlock -> pool limit of %u blocks reached",
                        unsigned(kMaxBlocks));
            s.m_bReportedFull = true;
            return nullptr;
        }
        void* raw = std::malloc(kBlockBytes + kAlign - 1);
        RawBlock* link = static_cast<RawBlock*>(std::malloc(sizeof(RawBlock)));
        if (!raw || !link) {
            std::free(raw);
            std::free(link);
            LogSend(kLogError, "Allocator::AllocateBlock -> out of memory");
            return nullptr;
        }
        link->m_pRaw = raw;
        link->m_pNext = s.m_pBlocks;
        s.m_pBlocks = link;
        ++s.m_BlockCount;
        unsigned char* base = reinterpret_cast<unsigned char*>(
            (reinterpret_cast<uintptr_t>(raw) + kAlign - 1) & ~uintptr_t(kAlign - 1));
        // Threaded in address order so that a fresh block hands out its slots
        // front to back.
        FreeSlot* next = nullptr;
        for (unsigned int i = N; i-- > 0;) {
            FreeSlot* slot = reinterpret_cast<FreeSlot*>(base + i * blockSize);
            slot->m_pNext = next;
            next = slot;
        }
        s.m_pFree = next;
    }
    FreeSlot* slot = s.m_pFree;
    s.m_pFree = slot->m_pNext;
    ++s.m_Live;
    return slot;
}

template <class T, unsigned int N, unsigned int A>
void Allocator<T, N, A>::FreeBlock(void* p) {
    if (!p) return;
    FreeSlot* slot = static_cast<FreeSlot*>(p);
    slot->m_pNext = s_Store.m_pFree;
    s_Store.m_pFree = slot;
    --s_Store.m_Live;
}

template <class T, unsigned int N, unsigned int A>
bool Allocator<T, N, A>::ReleaseUnused() {
    BlockStore& s = s_Store;
    if (s.m_Live != 0) return false;
    while (s.m_pBlocks) {
        RawBlock* next = s.m_pBlocks->m_pNext;
        std::free(s.m_pBlocks->m_pRaw);
        std::free(s.m_pBlocks);
        s.m_pBlocks = next;
    }
    s.m_pFree = nullptr;
    s.m_BlockCount = 0;
    s.m_bReportedFull = false;
    return true;
}

template class Allocator<Particle, 512, 4>;

namespace {
// Gives the blocks back at exit. Registered while the library loads, so it
// runs after the exit handlers of everything created later (singletons,
// effects). Should particles still be alive then (an instance that outlives
// this hook), the blocks stay so that their late return is still valid.
struct ParticlePoolExitHook {
    ~ParticlePoolExitHook() { ParticleAllocator::ReleaseUnused(); }
} s_PoolExitHook;
}  // namespace

}  // namespace Zyn
