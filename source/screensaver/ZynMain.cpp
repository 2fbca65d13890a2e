#include <screensaver/ZynMain.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include <screensaver/OrvSettings.h>
#include <screensaver/ScreenSaverApp.h>
#include <zyn/app/SaveManager.h>
#include <zyn/core/Root.h>
#include <zyn/graphics/Texture.h>
#include <zyn/graphics/TextureManager.h>
#include <zyn/graphics/image/ImageDecode.h>
#include <zyn/io/File.h>
#include <zyn/io/PacPackage.h>
#include <zyn/platform/Folders.h>
#include <zyn/platform/WindowSystem.h>
#include <zyn/platform/ZYN_ScreenSaver_ZYN.h>
#include <zyn/particles/EffectManager.h>
#include <zyn/particles/ParticleEffect.h>
#include <zyn/particles/Particle.h>

namespace {

const char* const kTextures[] = {"temple\\temple.jp2", "misc\\trophies.jp2", "gui\\gui_tex.jp2"};
const char* const kEffects[] = {"fx\\stats_trophy.zyn", "fx\\scarab_crush.zyn", "fx\\charged_path.zyn",
                                "fx\\sel_7.zyn",        "fx\\ss_glyphs_1.zyn",   "fx\\ss_glyphs_2.zyn",
                                "fx\\ss_glyphs_3.zyn"};

// The preloaded art and effects, one reference each, until ZynMainSceneShutDown.
std::vector<Zyn::Object*> g_Preloaded;

/// The save directory's suffix must stay one folder name: a line that would
/// climb out of the preferences folder or name a sub-folder is refused.
bool IsSafeSuffix(const char* s) {
    if (std::strchr(s, '/') || std::strchr(s, '\\')) return false;
    if (std::strcmp(s, ".") == 0 || std::strcmp(s, "..") == 0) return false;
    return true;
}

}  // namespace

bool CheckScenePack(const std::string& path, std::string& problem) {
    // The file itself first: the package reports only that it found nothing.
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        problem = "cannot read " + path + ": " + std::strerror(errno);
        return false;
    }
    std::fclose(f);
    // Members the directory claims past the end of a cut-short file are
    // left out by the package, and so reported as missing below.
    Zyn::PacPackage* pack = new Zyn::PacPackage(path.c_str());
    pack->AddRef();
    const Zyn::PacPackage::Directory& directory = pack->GetDirectory();
    problem.clear();
    if (directory.empty()) {
        problem = path + " is not a usable pack: empty, cut short or damaged";
    } else {
        std::vector<const char*> needed(std::begin(kTextures), std::end(kTextures));
        needed.insert(needed.end(), std::begin(kEffects), std::end(kEffects));
        for (const char* name : needed) {
            const auto it = directory.find(name);
            if (it == directory.end() || it->second.size == 0) {
                problem = path + " lacks the member " + name + " (or holds it damaged)";
                break;
            }
        }
    }
    pack->Release();
    return problem.empty();
}

void PrefetchSceneImages(const std::string& path) {
    Zyn::PacPackage* pack = new Zyn::PacPackage(path.c_str());
    pack->AddRef();
    auto read = [pack](const std::string& name, std::vector<unsigned char>& bytes) {
        std::unique_ptr<Zyn::File> file(pack->OpenFile(name.c_str()));
        if (!file) return false;
        bytes.resize(file->GetFileSize());
        return file->Read(bytes.data(), unsigned(bytes.size())) == bytes.size();
    };
    std::vector<Zyn::EncodedImage> images;
    for (const char* name : kTextures) {
        // As the texture loader asks: colour as RGBA when an alpha image goes with it.
        Zyn::EncodedImage colour, alpha;
        const bool hasAlpha = read(std::string(name) + "_a", alpha.bytes);
        colour.forceRGBA = hasAlpha;
        if (read(name, colour.bytes)) images.push_back(std::move(colour));
        if (hasAlpha) images.push_back(std::move(alpha));
    }
    pack->Release();
    // Decoded pixels are kept between runs: a daemon starts the saver anew
    // at every activation, and decoding is most of a start-up.
    const std::string cache = Zyn::Folders::GetCacheFolder();
    if (!cache.empty()) Zyn::SetDecodedImageCache(cache + "/zyn-screensaver/images");
    Zyn::PrefetchImages(std::move(images));
}

void ZynMainScene() {
    Zyn::Root* root = Zyn::Singleton<Zyn::Root>::Get();
    // The pack first: the language's table is one of its members.
    root->InsertObject(new Zyn::PacPackage(kScenePackName), -1, 0, nullptr);
    root->SetLanguage("polish");

    // Preloaded references are kept for the rest of the process: these stay
    // resident so that no frame waits for loading.
    Zyn::TextureManager* textures = Zyn::GetCreateTextureManager();
    // Only the hall's stone is seen at many sizes: it alone is mipmapped.
    // Taking the nearest mipmap level instead of blending two saves a
    // software rasteriser a sixth of the frame; every frame of the show
    // stays within 46 dB of the blended one.
    Zyn::Texture::ms_bBlendMipLevels = false;
    for (const char* name : kTextures) {
        Zyn::Texture::ms_bMipMaps = name == kTextures[0];
        if (Zyn::Texture* texture = textures->GetResourceTyped(name)) g_Preloaded.push_back(texture);
    }
    Zyn::Texture::ms_bMipMaps = false;
    Zyn::Texture::ms_bBlendMipLevels = true;
    Zyn::EffectManager* effects = Zyn::GetCreateEffectManager();
    for (const char* name : kEffects)
        if (Zyn::ParticleEffect* effect = effects->GetEffect(name)) g_Preloaded.push_back(effect);

    Zyn::SaveManager* saves = Zyn::Singleton<Zyn::SaveManager>::Get();
    if (Zyn::File* f = root->OpenFile("save_path\\save_path.txt", true)) {
        char line[128];
        f->ReadLine(line, sizeof line);
        delete f;
        if (IsSafeSuffix(line)) {
            saves->Load("Orvanthe", line);
        } else {
            Zyn::LogSend(Zyn::kLogWarning, "save_path.txt names no plain folder (%s); using WIP14", line);
            saves->Load("Orvanthe", "WIP14");
        }
    } else {
        saves->Load("Orvanthe", "WIP14");
    }
    saves->SetSaveOnDestruction(false);

    if (!Zyn::SingletonEx<OrvSettings>::ms_pInstance) saves->InsertObject(new OrvSettings("settings"), 1, 0, nullptr);
    if (OrvSettings* settings = Zyn::SingletonEx<OrvSettings>::ms_pInstance) settings->m_bTrophyVariant = true;

    ScreenSaverApp* app = new ScreenSaverApp("MyApp");
    app->StartShow();
    root->InsertObject(app, -1, 0, nullptr);

    Zyn::WindowSystem::ShowMouseCursor(false);
    root->m_LogLevel = Zyn::kLogInfo;
    Zyn::LogSend(Zyn::kLogInfo, "Particle size: %d", int(sizeof(Zyn::Particle)));
}

void RegisterZynMain() { SetZynMain(&ZynMainScene); }

void ZynMainSceneShutDown() {
    Zyn::Root* root = Zyn::Singleton<Zyn::Root>::Get();
    // The scene first, then what it was drawn from: the managers then hold
    // no reference of ours when the Root lets them go.
    if (ScreenSaverApp* app = Zyn::SingletonEx<ScreenSaverApp>::ms_pInstance) root->RemoveObject(app, -3);
    for (Zyn::Object* object : g_Preloaded) object->Release();
    g_Preloaded.clear();
}
