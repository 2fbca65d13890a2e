// CrashSprite and CloakSprite on the offscreen context: the crash grid and its
// rand() order against an independent recomputation in double precision, the
// pieces' motion and fade, the cloak's noise sampling, easing and final state,
// pixels against plain sprite drawing, reference balance and bad input.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <list>
#include <string>
#include <vector>

#include <zyn/app/App.h>
#include <zyn/app/CloakSprite.h>
#include <zyn/app/CrashSprite.h>
#include <zyn/core/Class.h>
#include <zyn/particles/PerlinNoise.h>

#include "SpriteEffectsTestUtil.h"
#include "support/LogCapture.h"

using namespace Zyn;
namespace G = Zyn::Graphics;

namespace {

const double kPi = 3.14159265358979323846;
const double kTwoPow31 = 2147483648.0;

// The first n values of rand() after srand(seed); leaves the generator seeded anew.
std::vector<int> RandAfterSeed(unsigned seed, size_t n) {
    std::srand(seed);
    std::vector<int> out(n);
    for (int& v : out) v = std::rand();
    std::srand(seed);
    return out;
}

struct GridPoint {
    double u, v, x, y;
};

// The crash grid worked out from its rules: points (columns + 1) x (rows + 1)
// indexed [column][row], consuming `draws` column by column, and within a point
// the column's draw before the row's. *used receives the number of draws taken.
std::vector<GridPoint> ExpectedGrid(const Texture::SpriteDef& s, unsigned columns, unsigned rows, int jitter,
                                    double angle, double scaleX, double scaleY, const std::vector<int>& draws,
                                    size_t* used) {
    std::vector<GridPoint> grid((columns + 1) * (rows + 1));
    const double j = jitter / 255.0;
    const double cellW = s.width / double(columns);
    const double cellH = s.height / double(rows);
    const double du = (double(s.uRight) - s.uLeft) / columns;
    const double dv = (double(s.vBottom) - s.vTop) / rows;
    size_t k = 0;
    for (unsigned i = 0; i <= columns; ++i) {
        for (unsigned r = 0; r <= rows; ++r) {
            double a = 0.0;
            double b = 0.0;
            if (i != 0 && i != columns) a = (draws.at(k++) % 40 - 20) * j * 0.05;
            if (r != 0 && r != rows) b = (draws.at(k++) % 40 - 20) * j * 0.05;
            const double X = ((i + a * 0.5) * cellW - s.xOrigin) * scaleX;
            const double Y = ((r + b * 0.5) * cellH - s.yOrigin) * scaleY;
            GridPoint& p = grid[i * (rows + 1) + r];
            p.u = s.uLeft + (i + a * 0.5) * du;
            p.v = s.vTop + (r + b * 0.5) * dv;
            p.x = s.xOrigin + X * std::cos(angle) - Y * std::sin(angle);
            p.y = s.yOrigin + X * std::sin(angle) + Y * std::cos(angle);
        }
    }
    *used = k;
    return grid;
}

// Pixels that differ by more than the tolerance in any colour channel.
int CountDifferent(const std::vector<unsigned char>& a, const std::vector<unsigned char>& b, int tolerance) {
    int n = 0;
    for (size_t i = 0; i + 3 < a.size() && i + 3 < b.size(); i += 4) {
        for (int c = 0; c < 3; ++c) {
            if (std::abs(int(a[i + c]) - int(b[i + c])) > tolerance) {
                ++n;
                break;
            }
        }
    }
    return n;
}

int CountLit(const std::vector<unsigned char>& a) {
    int n = 0;
    for (size_t i = 0; i + 3 < a.size(); i += 4) n += (a[i] | a[i + 1] | a[i + 2]) > 8 ? 1 : 0;
    return n;
}

class CrashSpriteTest : public ZynTest::SpriteEffectsFrame {
protected:
    void SetUp() override {
        SpriteEffectsFrame::SetUp();
        m_pCrash = new CrashSprite("rank");
        m_pCrash->AddRef();
        m_pCrash->SetReleaseWhenDone(false);
    }
    void TearDown() override {
        if (m_pCrash) {
            EXPECT_EQ(m_pCrash->Release(), 0);
        }
        SpriteEffectsFrame::TearDown();
    }
    const Texture::SpriteDef& Def() const { return m_pSheet->GetSpriteDef(m_Sprite); }

    CrashSprite* m_pCrash = nullptr;
};

class CloakSpriteTest : public ZynTest::SpriteEffectsFrame {
protected:
    static constexpr unsigned kColumns = 4;
    static constexpr unsigned kRows = 3;
    static constexpr float kNoiseScale = 3.5f;
    static constexpr float kNoiseSpeed = 3.5f;

    void SetUp() override {
        SpriteEffectsFrame::SetUp();
        m_pCloak = new CloakSprite("cloak");
        m_pCloak->AddRef();
    }
    void TearDown() override {
        if (m_pCloak) {
            EXPECT_EQ(m_pCloak->Release(), 0);
        }
        SpriteEffectsFrame::TearDown();
    }
    // The trophy's sequence on a small grid: rises 15 units into place at
    // (30, 28) while fading in from transparent black, over 3 seconds.
    bool Start(const char* texture, unsigned columns = kColumns, unsigned rows = kRows,
               float duration = 3.0f) {
        m_pCloak->SetPosition(Point3D<float>(30.0f, 28.0f, 0.0f));
        return m_pCloak->InitSequence(texture, m_Sprite, Point3D<float>(0.0f, 15.0f, 0.25f),
                                      Point3D<float>(0.0f, 0.0f, 0.0f), Color(0x00000000u),
                                      Color(0xFFFFFFFFu), 0.0f, 0.0f, 1.0f, 1.0f, 1.0f, 1.0f, columns, rows,
                                      6.0f, 0.0f, duration, kNoiseScale, kNoiseSpeed);
    }
    // Offsets the noise field should give at time t with the given amplitude.
    static std::vector<Point2D<double>> ExpectedOffsets(double t, double amplitude) {
        std::vector<Point2D<double>> out;
        const double z = t * kNoiseSpeed;
        for (unsigned i = 0; i < kColumns * kRows; ++i) {
            const double u = double(i % kColumns) / (kColumns - 1) * kNoiseScale;
            const double w = double(i / kRows) / (kColumns - 1) * kNoiseScale;
            out.emplace_back(PerlinNoise::Sample(float(u), float(w), float(z)) * amplitude,
                             PerlinNoise::Sample(float(80.0 - w), float(z), float(u + 30.0)) * amplitude);
        }
        return out;
    }
    static double Ease(double p) { return (1.0 + std::cos(kPi * p - kPi)) / 2.0; }

    CloakSprite* m_pCloak = nullptr;
};

}  // namespace

// ---------------------------------------------------------------------------
// CrashSprite: the grid.

TEST_F(CrashSpriteTest, GridFollowsTheJitteredPointsInTheirDrawOrder) {
    const unsigned columns = 10, rows = 18;
    const float angle = 0.4f, sx = 1.25f, sy = 0.8f;
    const std::vector<int> draws = RandAfterSeed(1, 1000);
    ASSERT_TRUE(m_pCrash->Init(m_pSheet, m_Sprite, columns, rows, 220, 31.0f, 29.5f, angle, sx, sy,
                               Color(0xFFFFFFFFu)));
    size_t used = 0;
    const std::vector<GridPoint> grid = ExpectedGrid(Def(), columns, rows, 220, angle, sx, sy, draws, &used);
    // Every inner point draws once per inner coordinate, and nothing else draws.
    EXPECT_EQ(used, size_t((columns - 1) * (rows + 1) + (columns + 1) * (rows - 1)));
    EXPECT_EQ(std::rand(), draws[used]);

    EXPECT_EQ(m_pCrash->GetPosition(), Point3D<float>(31.0f - 6.0f, 29.5f - 5.0f, 0.0f));
    ASSERT_EQ(m_pCrash->GetPieceCount(), 180u);
    for (unsigned i = 0; i < columns; ++i) {
        for (unsigned r = 0; r < rows; ++r) {
            const CrashSprite::Piece* p = m_pCrash->GetPiece(i * rows + r);
            ASSERT_NE(p, nullptr);
            const GridPoint* corner[4] = {&grid[i * (rows + 1) + r], &grid[(i + 1) * (rows + 1) + r],
                                          &grid[(i + 1) * (rows + 1) + r + 1], &grid[i * (rows + 1) + r + 1]};
            for (int k = 0; k < 4; ++k) {
                SCOPED_TRACE(testing::Message() << "piece " << i << "," << r << " corner " << k);
                EXPECT_NEAR(p->x[k], corner[k]->x, 1e-3);
                EXPECT_NEAR(p->y[k], corner[k]->y, 1e-3);
                EXPECT_NEAR(p->u[k], corner[k]->u, 1e-6);
                EXPECT_NEAR(p->v[k], corner[k]->v, 1e-6);
            }
            EXPECT_EQ(p->angle, 0.0f);
            EXPECT_EQ(p->scale, 1.0f);
            EXPECT_EQ(p->vx, 0.0f);
            EXPECT_EQ(p->vy, 0.0f);
        }
    }
    // Piece 0 is the top-left cell: its first corner is the sprite box's corner.
    const double ox = 6.0, oy = 5.0;
    EXPECT_NEAR(m_pCrash->GetPiece(0)->x[0], ox + (-ox * sx) * std::cos(angle) - (-oy * sy) * std::sin(angle),
                1e-4);
    EXPECT_NEAR(m_pCrash->GetPiece(0)->u[0], Def().uLeft, 1e-7);
    EXPECT_EQ(m_pCrash->GetPiece(180), nullptr);
}

TEST_F(CrashSpriteTest, JitterZeroCutsStraightAndFullJitterStaysWithinHalfACell) {
    const unsigned columns = 6, rows = 8;
    const double cellW = 24.0 / columns, cellH = 24.0 / rows;

    std::vector<int> draws = RandAfterSeed(1, 200);
    ASSERT_TRUE(m_pCrash->Init(m_pSheet, m_Sprite, columns, rows, 0, 6.0f, 5.0f, 0.0f, 1.0f, 1.0f,
                               Color(0xFFFFFFFFu)));
    // The draws are made even without jitter, so the stream stays aligned.
    const size_t drawsPerGrid = (columns - 1) * (rows + 1) + (columns + 1) * (rows - 1);
    EXPECT_EQ(std::rand(), draws[drawsPerGrid]);
    for (unsigned i = 0; i < columns; ++i) {
        for (unsigned r = 0; r < rows; ++r) {
            const CrashSprite::Piece* p = m_pCrash->GetPiece(i * rows + r);
            EXPECT_FLOAT_EQ(p->x[0], float(i * cellW));
            EXPECT_FLOAT_EQ(p->y[0], float(r * cellH));
            EXPECT_FLOAT_EQ(p->x[2], float((i + 1) * cellW));
            EXPECT_FLOAT_EQ(p->y[2], float((r + 1) * cellH));
        }
    }

    RandAfterSeed(2, 0);
    ASSERT_TRUE(m_pCrash->Init(m_pSheet, m_Sprite, columns, rows, 255, 6.0f, 5.0f, 0.0f, 1.0f, 1.0f,
                               Color(0xFFFFFFFFu)));
    double lowest = 1.0, highest = -1.0;
    for (unsigned i = 0; i < columns; ++i) {
        for (unsigned r = 0; r < rows; ++r) {
            const CrashSprite::Piece* p = m_pCrash->GetPiece(i * rows + r);
            // The outline stays on the lattice.
            if (i == 0) {
                EXPECT_EQ(p->x[0], 0.0f);
            }
            if (r == 0) {
                EXPECT_EQ(p->y[1], 0.0f);
            }
            if (i == columns - 1) {
                EXPECT_FLOAT_EQ(p->x[1], 24.0f);
            }
            if (r == rows - 1) {
                EXPECT_FLOAT_EQ(p->y[2], 24.0f);
            }
            if (i > 0) {
                const double shift = p->x[0] / cellW - i;
                lowest = std::min(lowest, shift);
                highest = std::max(highest, shift);
            }
            if (r > 0) {
                const double shift = p->y[0] / cellH - r;
                lowest = std::min(lowest, shift);
                highest = std::max(highest, shift);
            }
        }
    }
    EXPECT_GE(lowest, -0.5 - 1e-5);
    EXPECT_LE(highest, 0.475 + 1e-5);
    // With this many draws both ends of the range are reached.
    EXPECT_LT(lowest, -0.45);
    EXPECT_GT(highest, 0.42);
}

TEST_F(CrashSpriteTest, AssembledPiecesDrawTheSameImageAsThePlainSprite) {
    const float angles[2] = {0.0f, 0.3f};
    for (float angle : angles) {
        SCOPED_TRACE(testing::Message() << "angle " << angle);
        ASSERT_TRUE(m_pCrash->Init(m_pSheet, m_Sprite, 7, 6, 220, 31.3f, 30.2f, angle, 1.4f, 1.2f,
                                   Color(0xFFFFFFFFu)));
        EXPECT_TRUE(m_pCrash->Render(0.0f));
        const std::vector<unsigned char> pieces = FinishFrame();

        BeginFrame();
        m_pSheet->DrawSpriteEx(m_Sprite, 31.3f, 30.2f, angle, 1.4f, 1.2f, 0.0f, Color(0xFFFFFFFFu));
        const std::vector<unsigned char> plain = FinishFrame();

        EXPECT_GT(CountLit(plain), 500);
        // Rasterizers may round a seam between two pieces differently from
        // the whole quad; a stray pixel or two is not a torn image.
        EXPECT_LE(CountDifferent(pieces, plain, 3), CountLit(plain) / 200);
        BeginFrame();
    }
}

// ---------------------------------------------------------------------------
// CrashSprite: the explosion.

TEST_F(CrashSpriteTest, PiecesMoveSpinAndScaleAsComputedIndependently) {
    const unsigned columns = 3, rows = 2;
    const std::vector<int> draws = RandAfterSeed(1, 200);
    ASSERT_TRUE(m_pCrash->Init(m_pSheet, m_Sprite, columns, rows, 220, 32.0f, 30.0f, 0.2f, 1.0f, 1.0f,
                               Color(0xFFFFFFFFu)));
    const size_t initDraws = (columns - 1) * (rows + 1) + (columns + 1) * (rows - 1);

    struct Sim {
        double x[4], y[4], angle, scale, scaleRate, vx, vy, spin;
    };
    const float timeScale = 2.0f, duration = 0.75f;
    m_pCrash->Explode(50.0f, -150.0f, 0.0f, -200.0f, -5.0f, 5.0f, timeScale, duration, Color(0xFFFFFFFFu),
                      Color(0x00808080u), 0.75f, 1.25f);
    m_pCrash->SetGravity(Point2D<float>(10.0f, 500.0f));
    EXPECT_TRUE(m_pCrash->IsActive());

    // Per piece, in order: vx, vy, spin, scale target; each b + r 2^-31 (a - b).
    auto between = [](int r, double a, double b) { return b + r / kTwoPow31 * (a - b); };
    std::vector<Sim> sims(columns * rows);
    size_t k = initDraws;
    double remaining = duration * timeScale;
    for (unsigned n = 0; n < sims.size(); ++n) {
        const CrashSprite::Piece* p = m_pCrash->GetPiece(n);
        Sim& s = sims[n];
        for (int c = 0; c < 4; ++c) {
            s.x[c] = p->x[c];
            s.y[c] = p->y[c];
        }
        s.angle = 0.0;
        s.scale = 1.0;
        s.vx = between(draws[k++], 50.0, -150.0);
        s.vy = between(draws[k++], 0.0, -200.0);
        s.spin = between(draws[k++], -5.0, 5.0);
        s.scaleRate = (between(draws[k++], 0.75, 1.25) - 1.0) / remaining;
    }
    EXPECT_EQ(std::rand(), draws[k]);

    const float steps[3] = {0.1f, 0.05f, 0.12f};
    for (float dt : steps) {
        m_pCrash->Update(dt);
        const double d = double(dt) * timeScale;
        remaining -= d;
        for (Sim& s : sims) {
            for (int c = 0; c < 4; ++c) {
                s.x[c] += d * s.vx;
                s.y[c] += d * s.vy;
            }
            s.scale += d * s.scaleRate;
            s.vx += d * 10.0;
            s.vy += d * 500.0;
            s.angle += d * s.spin;
        }
    }
    EXPECT_NEAR(m_pCrash->GetRemaining(), remaining, 1e-5);
    for (unsigned n = 0; n < sims.size(); ++n) {
        SCOPED_TRACE(testing::Message() << "piece " << n);
        const CrashSprite::Piece* p = m_pCrash->GetPiece(n);
        const Sim& s = sims[n];
        for (int c = 0; c < 4; ++c) {
            EXPECT_NEAR(p->x[c], s.x[c], 2e-3);
            EXPECT_NEAR(p->y[c], s.y[c], 2e-3);
        }
        EXPECT_NEAR(p->vx, s.vx, 1e-3);
        EXPECT_NEAR(p->vy, s.vy, 1e-3);
        EXPECT_NEAR(p->angle, s.angle, 1e-5);
        EXPECT_NEAR(p->scale, s.scale, 1e-5);
    }

    // Drawn: each piece scaled and turned about its own first corner.
    G::_FlushRender();
    EXPECT_TRUE(m_pCrash->Render(0.0f));
    const std::vector<BasicVertex> v = Batched();
    ASSERT_EQ(v.size(), sims.size() * 4);
    const Point3D<float> pos = m_pCrash->GetPosition();
    for (unsigned n = 0; n < sims.size(); ++n) {
        const Sim& s = sims[n];
        const CrashSprite::Piece* p = m_pCrash->GetPiece(n);
        for (int c = 0; c < 4; ++c) {
            const double dx = s.scale * (s.x[c] - s.x[0]);
            const double dy = s.scale * (s.y[c] - s.y[0]);
            const BasicVertex& got = v[n * 4 + c];
            EXPECT_NEAR(got.x, pos.x + s.x[0] + dx * std::cos(s.angle) - dy * std::sin(s.angle), 3e-3);
            EXPECT_NEAR(got.y, pos.y + s.y[0] + dx * std::sin(s.angle) + dy * std::cos(s.angle), 3e-3);
            EXPECT_EQ(got.u, p->u[c]);
            EXPECT_EQ(got.v, p->v[c]);
            EXPECT_EQ(got.z, 0.0f);
            EXPECT_EQ(u32(got.color), u32(m_pCrash->GetColor()));
        }
    }
}

TEST_F(CrashSpriteTest, ColourFadesLinearlyAndTheRunEndsAfterItsDuration) {
    ASSERT_TRUE(
        m_pCrash->Init(m_pSheet, m_Sprite, 2, 2, 0, 30.0f, 30.0f, 0.0f, 1.0f, 1.0f, Color(0xFFFFFFFFu)));
    m_pCrash->Explode(0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.75f, Color(0xFFFFFFFFu), Color(0x00806040u),
                      1.0f, 1.0f);
    EXPECT_EQ(u32(m_pCrash->GetColor()), 0xFFFFFFFFu);
    const double from[4] = {255, 255, 255, 255}, to[4] = {0, 128, 96, 64};
    // Steps of 1/16 s are exact in binary: the run ends at the twelfth.
    for (int step = 1; step <= 11; ++step) {
        m_pCrash->Update(0.0625f);
        ASSERT_TRUE(m_pCrash->IsActive()) << "step " << step;
        const Color c = m_pCrash->GetColor();
        const int got[4] = {c.A(), c.R(), c.G(), c.B()};
        for (int ch = 0; ch < 4; ++ch) {
            const double expected = from[ch] + (to[ch] - from[ch]) * (step * 0.0625 / 0.75);
            EXPECT_NEAR(got[ch], std::trunc(expected), 1.0) << "step " << step << " channel " << ch;
        }
    }
    G::_FlushRender();
    EXPECT_TRUE(m_pCrash->Render(0.0f));
    const std::vector<BasicVertex> v = Batched();
    ASSERT_EQ(v.size(), 16u);
    EXPECT_EQ(u32(v[0].color), u32(m_pCrash->GetColor()));
    EXPECT_EQ(m_pCrash->GetColor().A(), 21);

    const Color last = m_pCrash->GetColor();
    m_pCrash->Update(0.0625f);
    EXPECT_FALSE(m_pCrash->IsActive());
    EXPECT_EQ(u32(m_pCrash->GetColor()), u32(last));
    // At exactly zero the last frame still shows; past it nothing is drawn.
    m_pCrash->Update(0.0625f);
    G::_FlushRender();
    EXPECT_TRUE(m_pCrash->Render(0.0f));
    EXPECT_TRUE(Batched().empty());
}

TEST_F(CrashSpriteTest, ReleasesItsOwnReferenceOnceWhenDone) {
    CrashSprite* crash = new CrashSprite("rank2");
    crash->AddRef();
    crash->AddRef();
    ASSERT_TRUE(
        crash->Init(m_pSheet, m_Sprite, 3, 3, 100, 30.0f, 30.0f, 0.0f, 1.0f, 1.0f, Color(0xFFFFFFFFu)));
    EXPECT_EQ(m_pSheet->GetRefCount(), 2);
    crash->Explode(10.0f, -10.0f, 10.0f, -10.0f, 1.0f, -1.0f, 1.0f, 0.5f, Color(0xFFFFFFFFu), Color(0u), 1.0f,
                   1.0f);
    for (int i = 0; i < 4; ++i) crash->Update(0.1f);
    EXPECT_EQ(crash->GetRefCount(), 2);
    crash->Update(0.2f);
    EXPECT_EQ(crash->GetRefCount(), 1);
    // Later frames must not give back references the sprite no longer has.
    for (int i = 0; i < 5; ++i) crash->Update(0.1f);
    EXPECT_EQ(crash->GetRefCount(), 1);
    EXPECT_EQ(crash->Release(), 0);
    EXPECT_EQ(m_pSheet->GetRefCount(), 1);
}

TEST_F(CrashSpriteTest, LeavesItsHoldingLayerGroupWhenDone) {
    App* app = new App("app");
    app->AddRef();
    CrashSprite* crash = new CrashSprite("rank3");
    ASSERT_EQ(app->InsertObject(crash, App::kActiveLayers, 0, nullptr), int(App::kActiveLayers));
    ASSERT_TRUE(
        crash->Init(m_pSheet, m_Sprite, 10, 18, 220, 30.0f, 30.0f, 0.0f, 1.0f, 1.0f, Color(0xFFFFFFFFu)));
    crash->SetGravity(Point2D<float>(0.0f, 500.0f));
    crash->Explode(50.0f, -150.0f, 0.0f, -200.0f, -5.0f, 5.0f, 1.0f, 0.75f, Color(0xFFFFFFFFu),
                   Color(0x00808080u), 0.75f, 1.25f);
    for (int i = 0; i < 12; ++i) crash->Update(0.05f);
    EXPECT_EQ(app->GetActiveLayers().GetList().size(), 1u);
    crash->Update(0.2f);  // destroys the sprite
    EXPECT_TRUE(app->GetActiveLayers().GetList().empty());
    EXPECT_EQ(m_pSheet->GetRefCount(), 1);
    app->Release();
}

// ---------------------------------------------------------------------------
// CrashSprite: references and bad input.

TEST_F(CrashSpriteTest, TextureReferencesBalanceAcrossInitsAndDestruction) {
    EXPECT_EQ(m_pSheet->GetRefCount(), 1);
    ASSERT_TRUE(m_pCrash->Init(m_pSheet, m_Sprite, 2, 2, 0, 0, 0, 0, 1, 1, Color(0xFFFFFFFFu)));
    EXPECT_EQ(m_pSheet->GetRefCount(), 2);
    ASSERT_TRUE(m_pCrash->Init(m_pSheet, m_Sprite, 3, 2, 0, 0, 0, 0, 1, 1, Color(0xFFFFFFFFu)));
    EXPECT_EQ(m_pSheet->GetRefCount(), 2);

    Texture* other = new Texture("other");
    other->AddRef();
    ASSERT_TRUE(m_pCrash->Init(other, 0, 2, 2, 0, 0, 0, 0, 1, 1, Color(0xFFFFFFFFu)));
    EXPECT_EQ(m_pSheet->GetRefCount(), 1);
    EXPECT_EQ(other->GetRefCount(), 2);
    // A failed Init lets the old texture go.
    EXPECT_FALSE(m_pCrash->Init(other, 5, 2, 2, 0, 0, 0, 0, 1, 1, Color(0xFFFFFFFFu)));
    EXPECT_EQ(other->GetRefCount(), 1);
    EXPECT_EQ(m_pCrash->GetTexture(), nullptr);

    ASSERT_TRUE(m_pCrash->Init(other, 0, 2, 2, 0, 0, 0, 0, 1, 1, Color(0xFFFFFFFFu)));
    EXPECT_EQ(m_pCrash->Release(), 0);
    m_pCrash = nullptr;
    EXPECT_EQ(other->GetRefCount(), 1);
    other->Release();
}

TEST_F(CrashSpriteTest, BadInputFailsAndDrawsNothing) {
    auto init = [&](Texture* t, unsigned sprite, unsigned columns, unsigned rows) {
        return m_pCrash->Init(t, sprite, columns, rows, 200, 30, 30, 0, 1, 1, Color(0xFFFFFFFFu));
    };
    EXPECT_FALSE(m_pCrash->Render(0.0f));
    // Explode before a successful Init: no state change and no draws.
    std::vector<int> draws = RandAfterSeed(5, 1);
    m_pCrash->Explode(1, 0, 1, 0, 1, 0, 1, 1, Color(0xFFFFFFFFu), Color(0u), 1, 1);
    EXPECT_FALSE(m_pCrash->IsExploding());
    EXPECT_EQ(std::rand(), draws[0]);

    EXPECT_FALSE(init(nullptr, 0, 2, 2));
    EXPECT_FALSE(init(m_pSheet, unsigned(m_pSheet->GetSpriteCount()), 2, 2));
    EXPECT_FALSE(init(m_pSheet, m_Sprite, 0, 4));
    EXPECT_FALSE(init(m_pSheet, m_Sprite, 4, 0));
    // Products that wrap around 32 bits or exceed the cap.
    EXPECT_FALSE(init(m_pSheet, m_Sprite, 65536, 65536));
    EXPECT_FALSE(init(m_pSheet, m_Sprite, CrashSprite::kMaxPieces, 2));
    Texture* none = Texture::GetNullResource();
    EXPECT_FALSE(init(none, 0, 2, 2));
    none->Release();
    EXPECT_EQ(m_pCrash->GetPieceCount(), 0u);
    EXPECT_EQ(m_pSheet->GetRefCount(), 1);
    G::_FlushRender();
    EXPECT_FALSE(m_pCrash->Render(0.0f));
    EXPECT_TRUE(Batched().empty());

    // A run without time ends on the first update, with finite state throughout.
    ASSERT_TRUE(init(m_pSheet, m_Sprite, 2, 2));
    m_pCrash->Explode(10, -10, 10, -10, 1, -1, 1.0f, 0.0f, Color(0xFF102030u), Color(0u), 2.0f, 0.5f);
    EXPECT_EQ(u32(m_pCrash->GetColor()), 0xFF102030u);
    EXPECT_FALSE(m_pCrash->IsActive());
    m_pCrash->Update(0.016f);
    for (unsigned n = 0; n < m_pCrash->GetPieceCount(); ++n) {
        EXPECT_TRUE(std::isfinite(m_pCrash->GetPiece(n)->scaleRate));
        EXPECT_EQ(m_pCrash->GetPiece(n)->scale, 1.0f);
    }
    EXPECT_EQ(u32(m_pCrash->GetColor()), 0xFF102030u);
}

// ---------------------------------------------------------------------------
// CloakSprite.

TEST_F(CloakSpriteTest, NoiseFieldIsSampledWithTheRowsQuirkAndEased) {
    ASSERT_TRUE(Start(kSheetName));
    ASSERT_EQ(m_pCloak->GetOffsets().size(), size_t(kColumns * kRows));
    struct Stage {
        float dt;
        double time;
    };
    // Start, half-way (eased amplitude 3), and past the end (clamped, amplitude 0).
    const Stage stages[3] = {{0.0f, 0.0}, {1.5f, 1.5}, {2.0f, 3.0}};
    for (const Stage& st : stages) {
        SCOPED_TRACE(testing::Message() << "time " << st.time);
        m_pCloak->Update(st.dt);
        EXPECT_FLOAT_EQ(m_pCloak->GetTime(), float(st.time));
        const double amplitude = 6.0 - 6.0 * Ease(st.time / 3.0);
        const std::vector<Point2D<double>> want = ExpectedOffsets(st.time, amplitude);
        for (size_t i = 0; i < want.size(); ++i) {
            EXPECT_NEAR(m_pCloak->GetOffsets()[i].x, want[i].x, 1e-4) << "point " << i;
            EXPECT_NEAR(m_pCloak->GetOffsets()[i].y, want[i].y, 1e-4) << "point " << i;
        }
    }
    EXPECT_TRUE(m_pCloak->IsDone());

    // Point 3 (row 0) samples at i div rows = 1: the field really differs there.
    const double u3 = kNoiseScale, wRows = kNoiseScale / 3.0;
    EXPECT_GT(std::fabs(PerlinNoise::Sample(float(u3), float(wRows), 5.25f) -
                        PerlinNoise::Sample(float(u3), 0.0f, 5.25f)),
              1e-3);
}

TEST_F(CloakSpriteTest, MeshCarriesTheEasedOffsetColourAndNoise) {
    ASSERT_TRUE(Start(kSheetName));
    const Texture::SpriteDef& s = m_pSheet->GetSpriteDef(m_Sprite);
    const double times[2] = {0.0, 1.5};
    for (double t : times) {
        SCOPED_TRACE(testing::Message() << "time " << t);
        m_pCloak->Update(float(t - m_pCloak->GetTime()));
        const double e = Ease(t / 3.0);
        const std::vector<Point2D<double>> off = ExpectedOffsets(t, 6.0 - 6.0 * e);
        const double px = 30.0 - s.xOrigin, py = 28.0 + 15.0 * (1.0 - e) - s.yOrigin, pz = 0.25 * (1.0 - e);
        const u32 byte = u32(255.0 * e);
        const u32 color = byte << 24 | byte << 16 | byte << 8 | byte;

        G::_FlushRender();
        EXPECT_TRUE(m_pCloak->Render(0.0f));
        const std::vector<BasicVertex> v = Batched();
        ASSERT_EQ(v.size(), size_t((kColumns - 1) * (kRows - 1) * 4));
        const unsigned cornerColumn[4] = {0, 1, 1, 0}, cornerRow[4] = {0, 0, 1, 1};
        size_t n = 0;
        for (unsigned r = 0; r + 1 < kRows; ++r) {
            for (unsigned c = 0; c + 1 < kColumns; ++c) {
                for (int k = 0; k < 4; ++k, ++n) {
                    const unsigned cc = c + cornerColumn[k], rr = r + cornerRow[k];
                    const Point2D<double>& o = off[rr * kColumns + cc];
                    EXPECT_NEAR(v[n].x, px + cc * (24.0 / 3) + o.x, 1e-3) << "vertex " << n;
                    EXPECT_NEAR(v[n].y, py + rr * (24.0 / 2) + o.y, 1e-3) << "vertex " << n;
                    EXPECT_NEAR(v[n].z, pz, 1e-6);
                    EXPECT_NEAR(v[n].u, s.uLeft + cc * (s.uRight - s.uLeft) / 3.0, 1e-6);
                    EXPECT_NEAR(v[n].v, s.vTop + rr * (s.vBottom - s.vTop) / 2.0, 1e-6);
                    EXPECT_EQ(u32(v[n].color), color);
                }
            }
        }
    }
}

TEST_F(CloakSpriteTest, EndsUndistortedAtTheFinalOffsetLikeThePlainSprite) {
    ASSERT_TRUE(Start(kSheetName, 10, 15));
    for (int i = 0; i < 7 && !m_pCloak->IsDone(); ++i) m_pCloak->Update(0.5f);
    EXPECT_TRUE(m_pCloak->IsDone());
    EXPECT_EQ(m_pCloak->GetTime(), m_pCloak->GetDuration());
    m_pCloak->Update(0.5f);
    EXPECT_EQ(m_pCloak->GetTime(), 3.0f);
    for (const Point2D<float>& o : m_pCloak->GetOffsets()) EXPECT_EQ(std::fabs(o.x) + std::fabs(o.y), 0.0f);

    EXPECT_TRUE(m_pCloak->Render(0.0f));
    const std::vector<unsigned char> cloak = FinishFrame();
    BeginFrame();
    m_pSheet->DrawSpriteEx(m_Sprite, 30.0f, 28.0f, 0.0f, 1.0f, 1.0f, 0.0f, Color(0xFFFFFFFFu));
    const std::vector<unsigned char> plain = FinishFrame();
    EXPECT_GT(CountLit(plain), 400);
    EXPECT_EQ(CountDifferent(cloak, plain, 2), 0);
    BeginFrame();
}

TEST_F(CloakSpriteTest, TextureReferencesBalanceAndAMissingTextureIsLogged) {
    ASSERT_TRUE(Start(kSheetName));
    EXPECT_EQ(m_pSheet->GetRefCount(), 2);
    m_pCloak->Update(1.0f);
    ASSERT_TRUE(Start(kSheetName, 5, 5, 2.0f));
    EXPECT_EQ(m_pSheet->GetRefCount(), 2);
    EXPECT_EQ(m_pCloak->GetTime(), 0.0f);
    EXPECT_EQ(m_pCloak->GetOffsets().size(), 25u);

    // Too small a grid changes nothing.
    EXPECT_FALSE(Start(kSheetName, 1, 5));
    EXPECT_FALSE(Start(kSheetName, 5, 1));
    EXPECT_FALSE(Start(kSheetName, 65536, 65536));
    EXPECT_EQ(m_pCloak->GetOffsets().size(), 25u);
    EXPECT_EQ(m_pCloak->GetDuration(), 2.0f);
    EXPECT_EQ(m_pSheet->GetRefCount(), 2);

    Texture* none = Texture::GetNullResource();
    const int noneRefs = none->GetRefCount();
    {
        ZynTest::ScopedLogCapture log;
        EXPECT_TRUE(Start("test\\no_such_sheet"));
        EXPECT_TRUE(log->Contains(" W. "));
        EXPECT_TRUE(
            log->Contains("CloakSprite::InitSequence failed due to invalid texture: test\\no_such_sheet"));
    }
    EXPECT_EQ(none->GetRefCount(), noneRefs);
    none->Release();
    EXPECT_EQ(m_pSheet->GetRefCount(), 1);
    EXPECT_EQ(m_pCloak->GetTexture(), nullptr);
    // Set up but invisible, and it never completes.
    EXPECT_EQ(m_pCloak->GetDuration(), 3.0f);
    m_pCloak->Update(5.0f);
    EXPECT_FALSE(m_pCloak->IsDone());
    G::_FlushRender();
    EXPECT_FALSE(m_pCloak->Render(0.0f));
    EXPECT_TRUE(Batched().empty());

    ASSERT_TRUE(Start(kSheetName));
    EXPECT_EQ(m_pCloak->Release(), 0);
    m_pCloak = nullptr;
    EXPECT_EQ(m_pSheet->GetRefCount(), 1);
}

TEST_F(CloakSpriteTest, ZeroDurationEndsAtOnceWithoutNaN) {
    EXPECT_FALSE(m_pCloak->Render(0.0f));
    m_pCloak->Update(0.1f);  // before any sequence: nothing to do
    ASSERT_TRUE(Start(kSheetName, kColumns, kRows, 0.0f));
    m_pCloak->Update(0.1f);
    EXPECT_TRUE(m_pCloak->IsDone());
    EXPECT_EQ(m_pCloak->GetEase(), 1.0f);
    for (const Point2D<float>& o : m_pCloak->GetOffsets()) EXPECT_EQ(std::fabs(o.x) + std::fabs(o.y), 0.0f);
    G::_FlushRender();
    EXPECT_TRUE(m_pCloak->Render(0.0f));
    const std::vector<BasicVertex> v = Batched();
    ASSERT_FALSE(v.empty());
    EXPECT_EQ(u32(v[0].color), 0xFFFFFFFFu);
    EXPECT_EQ(v[0].y, 28.0f - 5.0f);
}

// ---------------------------------------------------------------------------
// Class records.

TEST(SpriteEffectRecords, BothAreCreatedByNameAndCastToTheirBases) {
    const char* names[2] = {"CrashSprite", "CloakSprite"};
    for (const char* name : names) {
        SCOPED_TRACE(name);
        Class* cls = Class::FindClass(name);
        ASSERT_NE(cls, nullptr);
        std::list<Class*> parents;
        cls->EnumParentClasses(parents);
        ASSERT_EQ(parents.size(), 2u);
        EXPECT_EQ(parents.front(), &AppObject::sm_Class);
        EXPECT_EQ(parents.back(), &IPositionable::sm_Class);

        Object* obj = cls->CreateInstance("made");
        ASSERT_NE(obj, nullptr);
        obj->AddRef();
        EXPECT_EQ(obj->GetObjectClassName(), name);
        IPositionable* positionable = ZYN_Cast<IPositionable>(obj);
        ASSERT_NE(positionable, nullptr);
        positionable->SetPosition(Point3D<float>(1.0f, 2.0f, 3.0f));
        EXPECT_EQ(positionable->GetPosition(), Point3D<float>(1.0f, 2.0f, 3.0f));
        AppObject* app = ZYN_Cast<AppObject>(obj);
        ASSERT_NE(app, nullptr);
        // Built with defaults: nothing to draw yet.
        EXPECT_FALSE(app->Render(0.0f));
        obj->Release();
    }
}
