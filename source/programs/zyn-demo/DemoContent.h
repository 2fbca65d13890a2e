// What zyn-demo's pack holds and where its screens put things: the member
// names, the texts of its string table, logo configuration and resource list,
// the playground's effects and the logical layout. zyn-demo-pack writes these
// texts into demo.pac; the demo reads them back only through the framework
// (Root::SetLanguage, LogoScreenSequence, AppLoaderLayer), as a game would.
#pragma once

#include <string>
#include <vector>

#include <zyn/core/Types.h>

namespace Demo {

/// Every screen draws in this logical size; the renderer scales it to the window.
constexpr int kAppWidth = 1024;
constexpr int kAppHeight = 768;

inline constexpr const char* kPackName = "demo.pac";
/// Root::SetLanguage reads "<language>.utf8" from the packages.
inline constexpr const char* kLanguage = "english";
inline constexpr const char* kLogoConfig = "demo\\logos.cfg";
inline constexpr const char* kPlaygroundList = "demo\\playground.res";

// Textures reused from the scene's pack.
inline constexpr const char* kTrophyTexture = "misc\\trophies.jp2";
inline constexpr const char* kParticleTexture = "gui\\gui_tex.jp2";
inline constexpr const char* kTempleTexture = "temple\\temple.jp2";
/// Sprites of the trophy sheet: 1-11 medals (gold, silver, bronze in turn),
/// 12 the silver cup, 13 the grand trophy. Of the temple sheet: 1 the wall.
constexpr unsigned kSilverCup = 12;
constexpr unsigned kGrandTrophy = 13;
constexpr unsigned kWallSprite = 1;

/// One logo screen: the image zyn-demo-pack renders for it and its colours.
struct LogoScreen {
    const char* image;  // member name of the PNG in the pack
    int back[3];        // R, G, B behind the logo (the image is drawn on it too)
};
const std::vector<LogoScreen>& LogoScreens();
/// Seconds each logo screen lasts, fades included.
constexpr float kLogoSeconds = 2.2f;
/// Size of every logo image in pixels.
constexpr int kLogoWidth = 512;
constexpr int kLogoHeight = 384;

/// One effect of the playground and how it is shown.
struct PlaygroundEffect {
    const char* file;     // member name of the effect
    const char* nameKey;  // string-table key of its title
    float x, y;           // where it plays, logical coordinates
    float scale;
    float power;
    unsigned trophy;  // sprite of the trophy sheet drawn behind it, 0 for none
};
const std::vector<PlaygroundEffect>& PlaygroundEffects();

/// The string table: key and text (with "\1" where StringUtf8::var puts a
/// value), in file order.
struct TextEntry {
    const char* key;
    const char* text;
};
const std::vector<TextEntry>& TextEntries();

/// File texts, as written into the pack.
std::string StringTableText();
std::string LogoConfigText();
std::string PlaygroundListText();

/// Names of the string table file and of every member zyn-demo-pack writes
/// itself (texts and logo images).
std::string StringTableName();
std::vector<std::string> GeneratedMembers();
/// Members copied unchanged from the scene's pack: each texture with its
/// alpha image and sprite table, and the effects.
std::vector<std::string> SceneMembers();

/// Rectangle in logical coordinates.
struct Box {
    float x1, y1, x2, y2;
};
/// The name field of the widget screen: typed text shows inside it.
constexpr Box kNameField = {312.0f, 452.0f, 712.0f, 508.0f};
/// Longest name the field takes, in bytes.
constexpr int kNameMaxLength = 16;

}  // namespace Demo
