#include "DemoContent.h"

#include <cstdio>

namespace Demo {

const std::vector<LogoScreen>& LogoScreens() {
    static const std::vector<LogoScreen> screens = {
        {"logo\\zyn.png", {16, 20, 44}},
        {"logo\\medals.png", {12, 34, 26}},
        {"logo\\demo.png", {44, 18, 22}},
    };
    return screens;
}

const std::vector<PlaygroundEffect>& PlaygroundEffects() {
    // Positions and sizes follow how the temple scene shows the same effects.
    static const std::vector<PlaygroundEffect> effects = {
        {"fx\\stats_trophy.zyn", "fx_stats_trophy", 512.0f, 330.0f, 1.0f, 1.0f, kGrandTrophy},
        {"fx\\scarab_crush.zyn", "fx_scarab_crush", 512.0f, 384.0f, 2.0f, 1.0f, 0},
        {"fx\\charged_path.zyn", "fx_charged_path", 512.0f, 384.0f, 0.8f, 0.6f, 0},
        {"fx\\sel_7.zyn", "fx_sel_7", 512.0f, 384.0f, 1.0f, 1.0f, 0},
        {"fx\\ss_glyphs_1.zyn", "fx_ss_glyphs_1", 512.0f, 384.0f, 1.0f, 1.0f, 0},
        {"fx\\ss_glyphs_2.zyn", "fx_ss_glyphs_2", 512.0f, 384.0f, 1.0f, 1.0f, 0},
        {"fx\\ss_glyphs_3.zyn", "fx_ss_glyphs_3", 512.0f, 384.0f, 1.0f, 1.0f, 0},
    };
    return effects;
}

const std::vector<TextEntry>& TextEntries() {
    static const std::vector<TextEntry> entries = {
        {"title", "Zyn demo"},
        {"widgets_sprites", "Sprite widgets: one texture, many sprites"},
        {"name_prompt", "What is your name?"},
        {"name_hint", "Letters, digits and spaces. Backspace erases, Return goes on."},
        {"name_full", "That is as long as a name gets here."},
        {"default_name", "friend"},
        {"loader_title", "Loading the particle playground"},
        {"loader_busy", "The worker thread loads textures and effects..."},
        {"loader_done", "Ready. Click to continue."},
        {"playground_title", "Particle playground"},
        {"playground_keys", "Left/Right: effect   Space: replay   F12: frame rate   Esc: quit"},
        {"greeting", "Have fun, \\1!"},
        {"fx_stats_trophy", "Trophy sparkle"},
        {"fx_scarab_crush", "Scarab crush"},
        {"fx_charged_path", "Charged path"},
        {"fx_sel_7", "Burst of light"},
        {"fx_ss_glyphs_1", "Glyphs, first wave"},
        {"fx_ss_glyphs_2", "Glyphs, second wave"},
        {"fx_ss_glyphs_3", "Glyphs, third wave"},
    };
    return entries;
}

std::string StringTableText() {
    std::string text = "# zyn-demo's texts in English. The widgets name them by key.\n";
    for (const TextEntry& e : TextEntries()) text += std::string(e.key) + " = \"" + e.text + "\"\n";
    return text;
}

std::string LogoConfigText() {
    char line[128];
    std::string text =
        "# zyn-demo's logo screens. A key, the Space bar or a click shortens\n"
        "# the screen on show.\n";
    std::snprintf(line, sizeof line, "screen_count = %d\nscreen_time = %g\nscreen_back = 0,0,0\n",
                  int(LogoScreens().size()), double(kLogoSeconds));
    text += line;
    int n = 0;
    for (const LogoScreen& s : LogoScreens()) {
        ++n;
        std::snprintf(line, sizeof line, "screen_back_%d = %d,%d,%d\nscreen_file_%d = %s\n", n, s.back[0],
                      s.back[1], s.back[2], n, s.image);
        text += line;
    }
    return text;
}

std::string PlaygroundListText() {
    // The format has no comments: every line names a class and a resource.
    std::string text;
    for (const char* texture : {kTempleTexture, kTrophyTexture, kParticleTexture})
        text += std::string("Texture: ") + texture + "\n";
    for (const PlaygroundEffect& e : PlaygroundEffects())
        text += std::string("ParticleEffect: ") + e.file + "\n";
    return text;
}

std::string StringTableName() { return std::string(kLanguage) + ".utf8"; }

std::vector<std::string> GeneratedMembers() {
    std::vector<std::string> names = {StringTableName(), kLogoConfig, kPlaygroundList};
    for (const LogoScreen& s : LogoScreens()) names.push_back(s.image);
    return names;
}

std::vector<std::string> SceneMembers() {
    std::vector<std::string> names;
    // The texture loader merges "<name>_a" as alpha and reads sprites from "<name>_ex".
    for (const char* texture : {kTempleTexture, kTrophyTexture, kParticleTexture}) {
        names.push_back(texture);
        names.push_back(std::string(texture) + "_a");
        names.push_back(std::string(texture) + "_ex");
    }
    for (const PlaygroundEffect& e : PlaygroundEffects()) names.push_back(e.file);
    return names;
}

}  // namespace Demo
