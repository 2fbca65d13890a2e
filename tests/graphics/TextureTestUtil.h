// Helpers for the texture, image and resource manager tests: an in-memory
// package mounted in front of the Root's packages, TGA files built byte by
// byte (independently of Zyn::Image), and an offscreen frame to draw into.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <zyn/core/Root.h>
#include <zyn/graphics/Graphics.h>
#include <zyn/io/MemoryFile.h>
#include <zyn/io/Package.h>
#include <zyn/platform/GLSurface.h>
#include <zyn/platform/OffscreenSurface.h>

namespace ZynTest {

typedef std::vector<unsigned char> Bytes;

/// Serves files from a name -> bytes map; counts the opens per name.
class MapPackage : public Zyn::Package {
public:
    MapPackage() : Zyn::Package("map") {}
    Zyn::File* OpenFile(const char* name) override {
        auto it = m_Files.find(name);
        if (it == m_Files.end()) return nullptr;
        ++m_Opens[name];
        return new Zyn::MemoryFile(static_cast<const unsigned char*>(it->second.data()),
                                   unsigned(it->second.size()));
    }
    std::map<std::string, Bytes> m_Files;
    std::map<std::string, int> m_Opens;
};

/// Mounts a MapPackage in front of the Root's packages for the scope's lifetime.
class ScopedPackage {
public:
    ScopedPackage() : m_pPackage(new MapPackage) {
        Zyn::Singleton<Zyn::Root>::Get()->InsertObject(m_pPackage, Zyn::Root::kPackages, 0, nullptr);
    }
    ~ScopedPackage() { Zyn::Singleton<Zyn::Root>::Get()->RemoveObject(m_pPackage, Zyn::Root::kPackages); }
    ScopedPackage(const ScopedPackage&) = delete;
    ScopedPackage& operator=(const ScopedPackage&) = delete;
    void Add(const std::string& name, Bytes bytes) { m_pPackage->m_Files[name] = std::move(bytes); }
    void Add(const std::string& name, const std::string& text) { Add(name, Bytes(text.begin(), text.end())); }
    int Opens(const std::string& name) const {
        auto it = m_pPackage->m_Opens.find(name);
        return it == m_pPackage->m_Opens.end() ? 0 : it->second;
    }

private:
    MapPackage* m_pPackage;  // held by the Root's package group
};

/// An uncompressed TGA with a top-left origin. pixel(x, y) gives 0xAARRGGBB
/// (grey images take the low byte). bits: 8 (grey), 24 or 32.
template <class F>
Bytes MakeTga(unsigned w, unsigned h, int bits, F pixel) {
    Bytes b(18, 0);
    b[2] = bits == 8 ? 3 : 2;
    b[12] = uint8_t(w);
    b[13] = uint8_t(w >> 8);
    b[14] = uint8_t(h);
    b[15] = uint8_t(h >> 8);
    b[16] = uint8_t(bits);
    b[17] = uint8_t(0x20 | (bits == 32 ? 8 : 0));
    for (unsigned y = 0; y < h; ++y) {
        for (unsigned x = 0; x < w; ++x) {
            const uint32_t c = pixel(x, y);
            if (bits == 8) {
                b.push_back(uint8_t(c));
                continue;
            }
            b.push_back(uint8_t(c));        // B
            b.push_back(uint8_t(c >> 8));   // G
            b.push_back(uint8_t(c >> 16));  // R
            if (bits == 32) b.push_back(uint8_t(c >> 24));
        }
    }
    return b;
}

inline Bytes SolidTga(unsigned w, unsigned h, uint32_t argb, int bits = 24) {
    return MakeTga(w, h, bits, [argb](unsigned, unsigned) { return argb; });
}

struct Rgba {
    int r, g, b, a;
};

/// A 64 x 64 offscreen frame whose logical screen is 64 x 64 pixels, cleared
/// to black, blending alpha; pixels are read back after Finish().
class OffscreenFrame : public ::testing::Test {
protected:
    static constexpr int kSize = 64;

    void SetUp() override {
        m_pSurface.reset(Zyn::CreateOffscreenSurface());
        Zyn::AppSettings s;
        s.screenWidth = s.screenHeight = s.appWidth = s.appHeight = kSize;
        s.windowed = true;
        ASSERT_TRUE(Zyn::Graphics::Init(m_pSurface.get(), s)) << "the offscreen GL context is needed";
        BeginFrame();
    }
    void TearDown() override {
        Zyn::Graphics::ShutDown();
        m_pSurface.reset();
    }
    void BeginFrame() {
        namespace G = Zyn::Graphics;
        ASSERT_TRUE(G::BeginRendering());
        G::SetScreenViewport(Zyn::Rect<short>(0, 0, kSize, kSize));
        G::SetRenderMode(Zyn::RENDER_2D);
        G::SetProjection2D(kSize, kSize);
        G::ResetSceneTransform();
        G::SetClipping2D(nullptr);
        G::SetBlendingMode(Zyn::BLEND_ALPHA);
        G::ClearScreenViewport(0xFF000000, true, 1.0f, true);
    }
    void Finish() {
        Zyn::Graphics::EndRendering();
        ASSERT_TRUE(m_pSurface->ReadPixels(m_Pixels));
    }
    Rgba At(int x, int y) const {
        const size_t i = (size_t(y) * kSize + size_t(x)) * 4;
        return {m_Pixels[i], m_Pixels[i + 1], m_Pixels[i + 2], m_Pixels[i + 3]};
    }
    bool Near(int x, int y, int r, int g, int b, int tolerance = 2) const {
        const Rgba p = At(x, y);
        return std::abs(p.r - r) <= tolerance && std::abs(p.g - g) <= tolerance &&
               std::abs(p.b - b) <= tolerance;
    }
    bool IsBlack(int x, int y) const { return Near(x, y, 0, 0, 0); }
    /// Number of pixels that are not black inside [x1, x2) x [y1, y2).
    int LitCount(int x1, int y1, int x2, int y2) const {
        int n = 0;
        for (int y = y1; y < y2; ++y)
            for (int x = x1; x < x2; ++x) n += IsBlack(x, y) ? 0 : 1;
        return n;
    }

    std::unique_ptr<Zyn::GLSurface> m_pSurface;
    std::vector<unsigned char> m_Pixels;
};

}  // namespace ZynTest
