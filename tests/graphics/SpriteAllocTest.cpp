// Sprite drawing must not touch the heap. This executable replaces the global
// allocation functions to count them, so it runs apart from the other graphics
// tests (whose new/delete checks stay with the sanitizer).
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include <zyn/graphics/GraphicsTexture.h>
#include <zyn/graphics/Texture.h>

#include "TextureTestUtil.h"

namespace {
std::atomic<bool> g_bCounting{false};
std::atomic<long> g_Allocations{0};

void* CountedAlloc(std::size_t size) {
    if (g_bCounting.load(std::memory_order_relaxed)) g_Allocations.fetch_add(1, std::memory_order_relaxed);
    return std::malloc(size ? size : 1);
}
}  // namespace

// Every plain and array form goes to malloc/free, so allocation and release
// always pair up; the aligned forms are left to the runtime.
void* operator new(std::size_t size) {
    if (void* p = CountedAlloc(size)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
    if (void* p = CountedAlloc(size)) return p;
    throw std::bad_alloc();
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return CountedAlloc(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return CountedAlloc(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

using namespace Zyn;

namespace {
class SpriteAlloc : public ZynTest::OffscreenFrame {};
}  // namespace

TEST_F(SpriteAlloc, TenThousandSpritesAllocateNothing) {
    Texture* t = new Texture("alloc");
    t->AddRef();
    ASSERT_TRUE(t->InitEmptyTexture(16, 16, false));
    const int id = t->RegisterSprite(0, 0, 8, 8);
    Texture* other = new Texture("other");
    other->AddRef();
    ASSERT_TRUE(other->InitEmptyTexture(16, 16, false));

    // One pass first, so that the GL driver has built what it caches.
    auto pass = [&] {
        for (int i = 0; i < 10000; ++i) {
            Texture* tex = (i / 500) % 2 ? other : t;
            const float f = float(i % 64);
            tex->DrawSpriteEx(unsigned(i % 3 ? id : 999), f, 64.0f - f, f * 0.1f, 1.5f, 0.5f, 0.0f,
                              0xFFFFFFFF);
        }
        Graphics::_FlushRender();
    };
    pass();
    g_Allocations = 0;
    g_bCounting = true;
    pass();
    g_bCounting = false;
    EXPECT_EQ(g_Allocations.load(), 0);

    // The counter itself works.
    g_bCounting = true;
    int* probe = new int(3);
    g_bCounting = false;
    delete probe;
    EXPECT_EQ(g_Allocations.load(), 1);

    other->Release();
    t->Release();
}
