// zyn-assetgen: generates every member of the scene's pack from code and
// packs them into "RezAduva.pac" with the framework's own writers. The
// output depends on nothing but this program: the same bytes on every run.
//
// Usage: zyn-assetgen OUT_DIR            writes OUT_DIR/RezAduva.pac and the
//                                        loose members under OUT_DIR/members
//        zyn-assetgen --preview DIR      writes PNG previews of the sheets
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include <zyn/core/Root.h>
#include <zyn/graphics/Graphics.h>
#include <zyn/graphics/Texture.h>
#include <zyn/io/FolderPackage.h>
#include <zyn/io/PacPackage.h>
#include <zyn/io/VectorFile.h>
#include <zyn/platform/GLSurface.h>
#include <zyn/platform/OffscreenSurface.h>
#include <zyn/graphics/image/PngWriter.h>
#include <zyn/graphics/image/ImageDecode.h>

#include "Effects.h"
#include "ParticleArt.h"
#include "TempleArt.h"
#include "ToolOutput.h"
#include "TrophyArt.h"

using namespace AssetGen;

namespace {

struct Member {
    std::string name;  // as the scene asks for it, backslash separated
    std::string path;  // the loose file
};

std::string g_MembersDir;
std::vector<Member> g_Members;
// The generation takes a while; a terminal sees each member as it is
// written, a build log or pipe only the closing line.
const bool g_bShowsProgress = ::isatty(1) == 1;

bool MakeDirs(const std::string& path) {
    for (size_t i = 1; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == '/') {
            const std::string part = path.substr(0, i);
            if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return false;
        }
    }
    return true;
}

/// Writes one member under its pack name and remembers it for the pack.
bool AddMember(const std::string& name, const std::vector<unsigned char>& bytes) {
    std::string rel = name;
    for (char& c : rel)
        if (c == '\\') c = '/';
    const std::string path = g_MembersDir + "/" + rel;
    const size_t slash = path.rfind('/');
    if (!MakeDirs(path.substr(0, slash))) return false;
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    if (std::fclose(f) != 0 || !ok) return false;
    g_Members.push_back({name, path});
    if (g_bShowsProgress) {
        std::printf("\r\033[Kzyn-assetgen: member %zu, %s", g_Members.size(), rel.c_str());
        std::fflush(stdout);
    }
    return true;
}

unsigned char ToByte(float v) { return (unsigned char)(Clamp01(v) * 255.f + 0.5f); }

/// A sheet as a colour image and a separate grey alpha image, the way the
/// texture loader merges them ("name" and "name_a"), plus its sprite table.
bool AddSheet(const std::string& name, const Canvas& sheet, const std::vector<SpriteRect>& sprites,
              float colourRatio) {
    const unsigned w = unsigned(sheet.W()), h = unsigned(sheet.H());
    std::vector<unsigned char> rgb(size_t(w) * h * 3), alpha(size_t(w) * h);
    for (unsigned y = 0; y < h; ++y)
        for (unsigned x = 0; x < w; ++x) {
            const RGBA& p = sheet.At(int(x), int(y));
            unsigned char* c = &rgb[(size_t(y) * w + x) * 3];
            c[0] = ToByte(p.r);
            c[1] = ToByte(p.g);
            c[2] = ToByte(p.b);
            alpha[size_t(y) * w + x] = ToByte(p.a);
        }
    std::vector<unsigned char> colourJp2, alphaJp2;
    // The colour may lose a little; the alpha keeps its edges exact.
    if (!Zyn::EncodeJP2(rgb.data(), w, h, 3, colourRatio, colourJp2)) return false;
    if (!Zyn::EncodeJP2(alpha.data(), w, h, 1, 0.f, alphaJp2)) return false;

    // The sprite table goes through the texture's own writer, which takes
    // the texture's size from GL.
    Zyn::Texture* tex = new Zyn::Texture(name.c_str());
    tex->AddRef();
    bool ok = tex->InitEmptyTexture(w, h, false);
    if (ok) {
        tex->ResetSprites();
        for (size_t i = 1; i < sprites.size(); ++i) {
            const SpriteRect& r = sprites[i];
            tex->RegisterSprite(r.x, r.y, r.x + r.w, r.y + r.h, short(r.ox), short(r.oy));
        }
        Zyn::VectorFile ex;
        ok = tex->SaveTextureExData(ex);
        ok = ok && AddMember(name + "_ex", ex.GetVector());
    }
    tex->Release();
    return ok && AddMember(name, colourJp2) && AddMember(name + "_a", alphaJp2);
}

bool WritePreview(const std::string& path, const Canvas& c) {
    std::vector<Zyn::u8> rgba(size_t(c.W()) * c.H() * 4);
    for (int y = 0; y < c.H(); ++y)
        for (int x = 0; x < c.W(); ++x) {
            const RGBA& p = c.At(x, y);
            const float bg = ((x / 16 + y / 16) % 2) ? 0.12f : 0.18f;
            Zyn::u8* o = &rgba[(size_t(y) * c.W() + x) * 4];
            o[0] = ToByte(p.r * p.a + bg * (1 - p.a));
            o[1] = ToByte(p.g * p.a + bg * (1 - p.a));
            o[2] = ToByte(p.b * p.a + bg * (1 - p.a));
            o[3] = 255;
        }
    return Zyn::WritePNG(path.c_str(), c.W(), c.H(), rgba);
}

const char* const kHelp =
    "Usage: zyn-assetgen OUT_DIR\n"
    "       zyn-assetgen --preview DIR\n"
    "Generates the temple scene's art and effects into OUT_DIR/RezAduva.pac.\n";

}  // namespace

int main(int argc, char** argv) {
    ZynTool::SetProgramName("zyn-assetgen");
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(kHelp, stdout);
        return ZynTool::kExitOk;
    }
    if (argc != 2 && !(argc == 3 && std::strcmp(argv[1], "--preview") == 0))
        return ZynTool::Usage("give OUT_DIR, or --preview DIR", kHelp);
    Zyn::Singleton<Zyn::Root>::Get()->m_LogLevel = Zyn::kLogWarning;

    Canvas temple, trophies, particles;
    std::vector<SpriteRect> templeSprites, trophySprites, particleSprites;
    MakeTempleSheet(temple, templeSprites);
    MakeTrophySheet(trophies, trophySprites);
    MakeParticleSheet(particles, particleSprites);

    if (argc == 3) {
        const std::string dir = argv[2];
        const bool ok = MakeDirs(dir) && WritePreview(dir + "/temple.png", temple) &&
                        WritePreview(dir + "/trophies.png", trophies) &&
                        WritePreview(dir + "/particles.png", particles);
        if (!ok) {
            ZynTool::Error("cannot write the previews into %s", dir.c_str());
            return ZynTool::kExitFailed;
        }
        std::printf("wrote previews in %s\n", dir.c_str());
        return ZynTool::kExitOk;
    }

    const std::string out = argv[1];
    g_MembersDir = out + "/members";
    if (!MakeDirs(g_MembersDir)) {
        ZynTool::Error("cannot create %s", g_MembersDir.c_str());
        return ZynTool::kExitFailed;
    }

    // Sprite tables and effects go through framework objects that need GL.
    std::unique_ptr<Zyn::GLSurface> surface(Zyn::CreateOffscreenSurface());
    Zyn::AppSettings settings;
    settings.screenWidth = settings.appWidth = 64;
    settings.screenHeight = settings.appHeight = 64;
    if (!surface || !Zyn::Graphics::Init(surface.get(), settings)) {
        ZynTool::Error("no offscreen GL context");
        return ZynTool::kExitFailed;
    }

    bool ok = AddSheet("temple\\temple.jp2", temple, templeSprites, 8.f) &&
              AddSheet("misc\\trophies.jp2", trophies, trophySprites, 8.f) &&
              AddSheet("gui\\gui_tex.jp2", particles, particleSprites, 6.f);

    if (ok) {
        // Effects name their textures; the loose members serve them.
        Zyn::Root* root = Zyn::Singleton<Zyn::Root>::Get();
        root->InsertObject(new Zyn::FolderPackage("assetgen", g_MembersDir.c_str()), -1, 0, nullptr);
        std::vector<EffectFile> effects;
        ok = BuildEffects(effects);
        for (const EffectFile& e : effects) ok = ok && AddMember(e.name, e.bytes);
    }

    // The two text files start-up always asks for. Absent, each would be a
    // warning on every run; the save folder named is the one the scene
    // takes without the file.
    auto text = [](const char* s) { return std::vector<unsigned char>(s, s + std::strlen(s)); };
    ok = ok && AddMember("polish.utf8", text("# The scene shows no texts of its own.\n"));
    ok = ok && AddMember("save_path\\save_path.txt", text("WIP14\n"));

    std::vector<Zyn::PacPackage::Source> sources;
    for (const Member& m : g_Members) sources.push_back({m.name, m.path});
    const std::string pack = out + "/RezAduva.pac";
    ok = ok && Zyn::PacPackage::CreatePacPackage(sources, pack.c_str());

    if (g_bShowsProgress) std::fputs("\r\033[K", stdout);
    Zyn::Graphics::ShutDown();
    surface.reset();
    Zyn::Singleton<Zyn::Root>::Get()->Release();
    if (!ok) {
        ZynTool::Error("cannot make %s (see the messages above)", pack.c_str());
        return ZynTool::kExitFailed;
    }
    std::printf("zyn-assetgen: %zu members in %s\n", g_Members.size(), pack.c_str());
    return ZynTool::kExitOk;
}
