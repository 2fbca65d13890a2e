// Writes the art as PAM files for a quick look (development aid).
#include <cstdio>
#include <png.h>
#include <string>

#include "TempleArt.h"
#include "TrophyArt.h"
#include "ParticleArt.h"

using namespace AssetGen;

// Composites over a dark backdrop so the alpha edges show.
static void WritePam(const std::string& path, const Canvas& c) {
    png_image img{};
    img.version = PNG_IMAGE_VERSION;
    img.width = c.W();
    img.height = c.H();
    img.format = PNG_FORMAT_RGB;
    std::vector<unsigned char> buf(size_t(c.W()) * c.H() * 3);
    for (int y = 0; y < c.H(); ++y)
        for (int x = 0; x < c.W(); ++x) {
            const RGBA& p = c.At(x, y);
            const float a = Clamp01(p.a), bg = ((x / 16 + y / 16) % 2) ? 0.12f : 0.18f;
            unsigned char* b = &buf[(size_t(y) * c.W() + x) * 3];
            b[0] = (unsigned char)(Clamp01(p.r * a + bg * (1 - a)) * 255 + .5f);
            b[1] = (unsigned char)(Clamp01(p.g * a + bg * (1 - a)) * 255 + .5f);
            b[2] = (unsigned char)(Clamp01(p.b * a + bg * (1 - a)) * 255 + .5f);
        }
    png_image_write_to_file(&img, path.c_str(), 0, buf.data(), 0, nullptr);
}

int main(int argc, char** argv) {
    const std::string dir = argc > 1 ? argv[1] : ".";
    Canvas sheet;
    std::vector<SpriteRect> sprites;
    MakeTempleSheet(sheet, sprites);
    WritePam(dir + "/temple.png", sheet);
    // An assembled column as the hall stacks it, three segments, at scale 1.
    Canvas col(400, 800);
    auto blit = [&](int id, int px, int py) {
        const SpriteRect& r = sprites[id];
        for (int j = 0; j < r.h; ++j)
            for (int i = 0; i < r.w; ++i) col.Blend(px + i, py + j, sheet.At(r.x + i, r.y + j));
    };
    const int x = 200, y = 384;
    int left = x - 181, top = y - 384, mid = left + 48;
    blit(2, left + 40, top + 706);
    for (int k = 0; k < 3; ++k) {
        blit(3, mid, top + 556);
        top -= 151;
    }
    const int cap = top + 453;
    blit(171, left, cap);
    blit(4, mid, cap + 135);
    WritePam(dir + "/column.png", col);
    Canvas trophies;
    std::vector<SpriteRect> tsprites;
    MakeTrophySheet(trophies, tsprites);
    WritePam(dir + "/trophies.png", trophies);
    Canvas parts;
    std::vector<SpriteRect> psprites;
    MakeParticleSheet(parts, psprites);
    WritePam(dir + "/particles.png", parts);
    return 0;
}
