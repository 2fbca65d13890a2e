#include "DemoPackBuilder.h"

#include <cstdio>
#include <filesystem>
#include <list>
#include <memory>
#include <vector>

#include <zyn/core/Root.h>
#include <zyn/graphics/Font.h>
#include <zyn/graphics/FontManager.h>
#include <zyn/graphics/Graphics.h>
#include <zyn/graphics/Texture.h>
#include <zyn/graphics/TextureManager.h>
#include <zyn/io/File.h>
#include <zyn/io/FolderPackage.h>
#include <zyn/io/PacPackage.h>
#include <zyn/platform/GLSurface.h>
#include <zyn/graphics/image/PngWriter.h>

#include "DemoContent.h"
#include "ToolOutput.h"

namespace fs = std::filesystem;
using Zyn::Color;

namespace Demo {

namespace {

const char* const kDebugFont = "debugfont.zyn_fnt";

// The member's path under workDir: pack names use backslashes, as the folder
// package expects when it serves them.
std::string MemberPath(const std::string& workDir, const std::string& member) {
    std::string relative = member;
    for (char& c : relative)
        if (c == '\\') c = '/';
    return (fs::path(workDir) / relative).string();
}

bool WriteText(const std::string& path, const std::string& text) {
    std::error_code ec;
    fs::create_directories(fs::path(path).parent_path(), ec);
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    return std::fclose(f) == 0 && ok;
}

// Draws the text with its pen line at baseline, centred on cx. Blown up,
// the debug font's pixels part into dots: large text is drawn four times,
// each copy a little apart, to close the gaps.
void DrawCentred(Zyn::Font* font, float cx, float baseline, const char* text, float scale, Color color) {
    Zyn::Rect<float> box;
    font->GetTextScaleRect(box, 0.0f, baseline, text, scale, 0);
    const float x = cx - (box.x2 - box.x1) * 0.5f;
    const float d = scale >= 4.0f ? scale * 0.35f : 0.0f;
    for (int i = 0; i < (d > 0.0f ? 4 : 1); ++i)
        font->RenderTextScale(x + float(i % 2) * d, baseline + float(i / 2) * d, 0.0f, text, scale, color, 0);
}

// The three logos: a sprite or three of the trophy sheet and a line or two
// of the debug font, blown up. Each is drawn on its screen's own colour, so
// the picture meets the logo screen's background without a seam.
void DrawLogo(size_t index, Zyn::Texture* trophies, Zyn::Font* font) {
    const Color gold(0xFFF2CF6Au), pale(0xFFE8E4D8u), silver(0xFFD8DCE4u);
    switch (index) {
        case 0:
            trophies->DrawSpriteEx(kGrandTrophy, 124.0f, 196.0f, 0.0f, 0.72f, 0.72f, 0.0f, 0xFFFFFFFFu);
            DrawCentred(font, 360.0f, 200.0f, "ZYN", 11.0f, gold);
            DrawCentred(font, 360.0f, 248.0f, "2D GAME FRAMEWORK", 2.0f, pale);
            break;
        case 1:
            for (unsigned medal = 1; medal <= 3; ++medal)
                trophies->DrawSpriteEx(medal, 256.0f + (float(medal) - 2.0f) * 124.0f, 140.0f, 0.0f, 1.1f,
                                       1.1f, 0.0f, 0xFFFFFFFFu);
            DrawCentred(font, 256.0f, 262.0f, "SPRITES  TEXT  PARTICLES", 2.0f, pale);
            DrawCentred(font, 256.0f, 318.0f, "MADE WITH ZYN", 4.0f, gold);
            break;
        default:
            trophies->DrawSpriteEx(kSilverCup, 392.0f, 196.0f, 0.0f, 0.72f, 0.72f, 0.0f, 0xFFFFFFFFu);
            DrawCentred(font, 150.0f, 200.0f, "DEMO", 9.0f, silver);
            DrawCentred(font, 150.0f, 248.0f, "FOR GAME PROGRAMMERS", 2.0f, pale);
            break;
    }
}

// Renders every logo into the surface and writes it as a PNG under workDir.
bool RenderLogos(const std::string& workDir) {
    Zyn::GLSurface* surface = Zyn::Graphics::GetSurface();
    if (!surface || surface->GetWidth() != kLogoWidth || surface->GetHeight() != kLogoHeight) {
        ZynTool::Error("no GL surface of the logo size");
        return false;
    }
    // Both references are given back when the holders go.
    Zyn::Ref<Zyn::Texture> trophies;
    Zyn::Ref<Zyn::Font> font;
    {
        Zyn::Texture* t = Zyn::GetCreateTextureManager()->GetResourceTyped(kTrophyTexture);
        trophies.Reset(t);
        if (t) t->Release();
        Zyn::Font* f = Zyn::GetCreateFontManager()->GetResourceTyped(kDebugFont);
        font.Reset(f);
        if (f) f->Release();
    }
    if (!trophies || trophies->GetSpriteCount() <= int(kGrandTrophy) || !font) {
        ZynTool::Error(std::string("cannot load ") + kTrophyTexture + " and the debug font");
        return false;
    }
    const std::vector<LogoScreen>& logos = LogoScreens();
    std::vector<Zyn::u8> rgba;
    for (size_t i = 0; i < logos.size(); ++i) {
        const LogoScreen& logo = logos[i];
        const Color back(0xFF000000u | Zyn::u32(logo.back[0]) << 16 | Zyn::u32(logo.back[1]) << 8 |
                         Zyn::u32(logo.back[2]));
        if (!Zyn::Graphics::BeginRendering()) {
            ZynTool::Error("the renderer cannot begin a frame");
            return false;
        }
        Zyn::Graphics::SetScreenViewport(Zyn::Rect<short>(0, 0, short(kLogoWidth), short(kLogoHeight)));
        Zyn::Graphics::SetRenderMode(Zyn::RENDER_2D);
        Zyn::Graphics::SetProjection2D(kLogoWidth, kLogoHeight);
        Zyn::Graphics::ResetSceneTransform();
        Zyn::Graphics::SetClipping2D(nullptr);
        Zyn::Graphics::ClearScreenViewport(back, true, 1.0f, true);
        Zyn::Graphics::SetBlendingMode(Zyn::BLEND_ALPHA);
        DrawLogo(i, trophies.Get(), font.Get());
        Zyn::Graphics::EndRendering();
        const std::string path = MemberPath(workDir, logo.image);
        std::error_code ec;
        fs::create_directories(fs::path(path).parent_path(), ec);
        if (!surface->ReadPixels(rgba) || !Zyn::WritePNG(path.c_str(), kLogoWidth, kLogoHeight, rgba)) {
            ZynTool::Error("cannot write " + path);
            return false;
        }
    }
    return true;
}

// Mounts a package behind or in front of the others; the Root owns it.
void Mount(Zyn::Package* package, unsigned position) {
    Zyn::Singleton<Zyn::Root>::Get()->InsertObject(package, Zyn::Root::kPackages, position, nullptr);
}

}  // namespace

bool BuildDemoPack(const std::string& scenePack, const std::string& workDir, const std::string& outPack) {
    std::error_code ec;
    if (!fs::is_regular_file(scenePack, ec)) {
        ZynTool::Error("no scene pack at " + scenePack);
        return false;
    }
    Zyn::PacPackage* scene = new Zyn::PacPackage(scenePack.c_str());
    Mount(scene, 1);

    // Texts first: they are what a game programmer edits.
    const std::pair<std::string, std::string> texts[] = {
        {StringTableName(), StringTableText()},
        {kLogoConfig, LogoConfigText()},
        {kPlaygroundList, PlaygroundListText()},
    };
    for (const auto& t : texts) {
        const std::string path = MemberPath(workDir, t.first);
        if (!WriteText(path, t.second)) {
            ZynTool::Error("cannot write " + path);
            return false;
        }
    }
    if (!RenderLogos(workDir)) return false;
    Mount(new Zyn::FolderPackage("zyn-demo-pack members", workDir.c_str()), 0);

    // Every member must be there: the pack writer would only warn and skip one.
    std::list<std::string> names;
    for (const std::string& name : GeneratedMembers()) names.push_back(name);
    for (const std::string& name : SceneMembers()) names.push_back(name);
    for (const std::string& name : names) {
        std::unique_ptr<Zyn::File> file(Zyn::Singleton<Zyn::Root>::Get()->OpenFile(name.c_str(), false));
        if (!file) {
            ZynTool::Error("neither " + scenePack + " nor " + workDir + " holds " + name);
            return false;
        }
    }
    if (!Zyn::PacPackage::CreatePacPackageFromPacPackages(names, outPack.c_str())) {
        ZynTool::Error("cannot write " + outPack);
        return false;
    }
    return true;
}

}  // namespace Demo
