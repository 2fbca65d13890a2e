// zynfont: turns a TrueType or OpenType font into a Zyn bitmap font. The
// glyphs are rasterised with FreeType, written as the font export text and
// its glyph images, and brought in by the font manager's importer, whose
// packer places them into the texture; the font, texture and sprite table
// are then saved under their resource names, ready to be packed, and packed.
// Exit status: 0 success, 1 failure, 2 bad usage.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include <zyn/core/Root.h>
#include <zyn/io/PacPackage.h>

#include "CommandArgs.h"
#include "FontBuild.h"
#include "FontRaster.h"
#include "ToolOutput.h"

using namespace ZynFont;
using ZynTool::Error;
using ZynTool::kExitFailed;
using ZynTool::kExitOk;
using ZynTool::Usage;

namespace {

const int kMinPixelSize = 2;
const int kMaxPixelSize = 1024;
// Resource names travel in pack directories, whose names are bounded.
const size_t kMaxNameLength = 100;

const char* const kHelp =
    "Usage: zynfont [OPTIONS] FONT_FILE\n"
    "       zynfont --import TEXT [--out DIR]\n"
    "Turns a TrueType or OpenType font into a Zyn bitmap font: NAME.zyn_fnt with its\n"
    "texture NAME.tga and sprite table NAME.tga_ex, named as the font loads them, and\n"
    "NAME.pac holding the three. The glyphs go through the font export text NAME.txt\n"
    "and its glyph images in DIR/font_exports, which can be edited and imported\n"
    "again with --import.\n"
    "\n"
    "  -s, --size PX            pixel size of the glyphs, 2 to 1024 (default 16)\n"
    "  -r, --ranges LIST        Unicode code points to take: ranges and single codes,\n"
    "                           decimal or 0x hex, comma separated\n"
    "                           (default 32-126; e.g. 32-126,160-255,0x100-0x17F)\n"
    "  -o, --out DIR            output folder, made when missing (default .)\n"
    "  -n, --name NAME          base name of the files (default: the font file's\n"
    "                           name without extension, '_' and the size)\n"
    "  -t, --texture-size WxH   texture size, each side 1 to 4096 (default: the\n"
    "                           smallest power-of-two size that holds every glyph)\n"
    "      --no-spacing         pack glyphs edge to edge (default: one transparent\n"
    "                           pixel after every glyph, so filtering stays clean)\n"
    "      --import TEXT        rasterise nothing: import the font export TEXT (its\n"
    "                           glyph images in font_exports/ beside it) and save\n"
    "                           every font it describes into DIR\n"
    "  -v, --verbose            show the framework's information lines\n"
    "  -h, --help               show this help\n"
    "\n"
    "Code points the font has no glyph for are left out and counted.\n";

struct Options {
    std::string fontFile;
    std::string importText;
    unsigned size = 16;
    std::string ranges = "32-126";
    std::string out = ".";
    std::string name;
    unsigned textureWidth = 0;  // 0: automatic
    unsigned textureHeight = 0;
    bool spacing = true;
    bool verbose = false;
    bool help = false;
};

bool ParseTextureSize(const std::string& text, unsigned& w, unsigned& h) {
    int width = 0, height = 0;
    if (!ZynTool::ParseSize(text, 1, int(kMaxTextureSize), width, height)) return false;
    w = unsigned(width);
    h = unsigned(height);
    return true;
}

// Empty on success, else the problem.
std::string ParseArgs(int argc, char** argv, Options& o) {
    std::vector<std::string> positional;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        std::string value;
        bool hasValue = false;
        if (arg.size() > 2 && arg.compare(0, 2, "--") == 0 && arg.find('=') != std::string::npos) {
            value = arg.substr(arg.find('=') + 1);
            arg = arg.substr(0, arg.find('='));
            hasValue = true;
        }
        auto take = [&](std::string& out) -> bool {
            if (hasValue) {
                out = value;
                return true;
            }
            if (i + 1 >= argc) return false;
            out = argv[++i];
            return true;
        };
        std::string v;
        if (arg == "-h" || arg == "--help") {
            o.help = true;
        } else if (arg == "-v" || arg == "--verbose") {
            o.verbose = true;
        } else if (arg == "--no-spacing") {
            o.spacing = false;
        } else if (arg == "-s" || arg == "--size") {
            if (!take(v)) return arg + " needs a pixel size";
            int size = 0;
            if (!ZynTool::ParseInteger(v, kMinPixelSize, kMaxPixelSize, size))
                return "pixel size \"" + v + "\" is not a whole number from 2 to 1024";
            o.size = unsigned(size);
        } else if (arg == "-r" || arg == "--ranges") {
            if (!take(o.ranges)) return arg + " needs a list of code point ranges";
        } else if (arg == "-o" || arg == "--out") {
            if (!take(o.out) || o.out.empty()) return arg + " needs a folder";
        } else if (arg == "-n" || arg == "--name") {
            if (!take(o.name)) return arg + " needs a name";
        } else if (arg == "-t" || arg == "--texture-size") {
            if (!take(v)) return arg + " needs a size WxH";
            if (v != "auto" && !ParseTextureSize(v, o.textureWidth, o.textureHeight))
                return "texture size \"" + v + "\" is not WxH with sides from 1 to 4096";
        } else if (arg == "--import") {
            if (!take(o.importText) || o.importText.empty()) return arg + " needs a font export text";
        } else if (arg.size() > 1 && arg[0] == '-') {
            return "unknown option " + arg;
        } else {
            positional.push_back(arg);
        }
    }
    if (o.help) return "";
    if (!o.importText.empty()) {
        if (!positional.empty()) return "--import takes no FONT_FILE";
        return "";
    }
    if (positional.size() != 1)
        return positional.empty() ? "no FONT_FILE given" : "more than one FONT_FILE given";
    o.fontFile = positional[0];
    return "";
}

bool IsSafeName(const std::string& name) {
    return !name.empty() && name.size() <= kMaxNameLength && name.find('/') == std::string::npos &&
           name != "." && name != "..";
}

bool MakeFolder(const std::string& dir) {
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec || !std::filesystem::is_directory(dir, ec)) {
        Error("cannot make the output folder " + dir);
        return false;
    }
    return true;
}

// Writes the texture, its sprite table and the font under their resource names.
bool WriteBuiltFont(const std::string& dir, const std::string& fontName, const BuiltFont& built,
                    std::vector<Zyn::PacPackage::Source>* members) {
    const std::pair<std::string, const std::vector<unsigned char>*> files[] = {
        {built.textureName, &built.texture},
        {built.textureName + "_ex", &built.sprites},
        {fontName, &built.font},
    };
    for (const auto& f : files) {
        if (!IsSafeName(f.first)) {
            Error("\"" + f.first + "\" cannot be a file name in " + dir);
            return false;
        }
        std::string error;
        if (!WriteBytes(dir + "/" + f.first, *f.second, error)) {
            Error(error);
            return false;
        }
        if (members) members->push_back({f.first, dir + "/" + f.first});
    }
    return true;
}

int RunImport(const Options& o) {
    if (!MakeFolder(o.out)) return kExitFailed;
    const std::filesystem::path text(o.importText);
    const std::string dir = text.has_parent_path() ? text.parent_path().string() : ".";
    // The output folder is named from here, but the import runs beside its text.
    std::error_code ec;
    const std::string out = std::filesystem::absolute(o.out, ec).string();
    std::string error;
    OffscreenGL gl;
    if (!gl.Start()) {
        Error("no offscreen GL context");
        return kExitFailed;
    }
    if (!ImportFontExport(dir, text.filename().string(), error)) {
        Error(error);
        return kExitFailed;
    }
    const std::vector<std::string> names = ManagedFontNames();
    if (names.empty()) {
        Error("the text " + o.importText + " describes no font");
        return kExitFailed;
    }
    for (const std::string& name : names) {
        BuiltFont built;
        if (!CollectBuiltFont(name, built, error)) {
            Error(error);
            return kExitFailed;
        }
        if (!WriteBuiltFont(out, name, built, nullptr)) return kExitFailed;
        std::printf("zynfont: %s: %d glyphs, texture %s\n", name.c_str(), built.glyphCount,
                    built.textureName.c_str());
    }
    return kExitOk;
}

// The refusal of glyphs that cannot fit, with why: "need at least N pixels".
std::string NoFitMessage(const Options& o, size_t glyphCount, const std::string& why) {
    const std::string count = std::to_string(glyphCount) + " glyphs at " + std::to_string(o.size) + " px";
    if (o.textureWidth)
        return count + " " + why + ": the glyphs do not fit " + std::to_string(o.textureWidth) + "x" +
               std::to_string(o.textureHeight) + "; give a larger --texture-size or leave it out";
    return count + " " + why + ": the glyphs do not fit a 4096x4096 texture; take a smaller --size or fewer --ranges";
}

// A progress line on standard error, redrawn in place, only when standard
// error is a terminal: scripts and tests read the same output as before.
class Progress {
public:
    Progress() : m_bShown(::isatty(2) == 1) {}
    void Show(const char* what, size_t done, size_t total) {
        if (!m_bShown || total == 0) return;
        const int percent = int(done * 100 / total);
        if (percent == m_LastPercent && done != total) return;
        m_LastPercent = percent;
        std::fprintf(stderr, "\rzynfont: %s glyph %zu of %zu (%d%%)", what, done, total, percent);
        std::fflush(stderr);
        m_bDrawn = true;
    }
    void Clear() {
        if (m_bDrawn) std::fputs("\r\033[K", stderr);
        m_bDrawn = false;
    }
    ~Progress() { Clear(); }

private:
    bool m_bShown;
    bool m_bDrawn = false;
    int m_LastPercent = -1;
};

int RunRasterise(Options& o) {
    std::vector<CodeRange> ranges;
    std::string error;
    if (!ParseRanges(o.ranges, ranges, error)) return Usage(error);
    if (o.name.empty())
        o.name = std::filesystem::path(o.fontFile).stem().string() + "_" + std::to_string(o.size);
    if (!IsSafeName(o.name)) return Usage("name \"" + o.name + "\" must be 1 to 100 characters without '/'");

    FontArt art;
    art.name = o.name;
    art.spacing = o.spacing;
    RasterReport report;
    FontRasteriser rasteriser;
    if (!rasteriser.Open(o.fontFile, o.size, error)) {
        Error(error);
        return kExitFailed;
    }
    const size_t glyphCount = rasteriser.SelectCodes(ranges, report);
    if (glyphCount == 0) {
        Error("the font " + o.fontFile + " has a glyph for none of the code points " + o.ranges);
        return kExitFailed;
    }
    // Sprite 0 is the whole texture and glyph sprite ids are 16-bit.
    if (glyphCount > 0xFFFF) {
        Error(std::to_string(glyphCount) + " glyphs are more than one font texture can index (65535)");
        return kExitFailed;
    }
    // Glyphs that cannot fit are refused before they are rendered: at large
    // sizes their bitmaps would take gigabytes only to be thrown away.
    const unsigned limitWidth = o.textureWidth ? o.textureWidth : kMaxTextureSize;
    const unsigned limitHeight = o.textureWidth ? o.textureHeight : kMaxTextureSize;
    const unsigned long long limit = (unsigned long long)limitWidth * limitHeight;
    const unsigned long long needed = rasteriser.MeasureArea(o.spacing);
    if (needed > limit) {
        Error(NoFitMessage(o, glyphCount, "need at least " + std::to_string(needed) + " pixels"));
        return kExitFailed;
    }
    Progress progress;
    const bool rendered = rasteriser.Rasterise(
        art, report, limit, [&progress](size_t done, size_t total) { progress.Show("rasterising", done, total); },
        error);
    progress.Clear();
    if (!rendered) {
        Error(NoFitMessage(o, glyphCount, error));
        return kExitFailed;
    }
    if (art.glyphs.empty()) {
        Error("FreeType could render none of the glyphs of " + o.fontFile);
        return kExitFailed;
    }
    if (o.textureWidth) {
        const int unplaced = CountUnplaced(art, o.textureWidth, o.textureHeight);
        if (unplaced > 0) {
            Error(std::to_string(unplaced) + " of " + std::to_string(art.glyphs.size()) +
                  " glyphs do not fit " + std::to_string(o.textureWidth) + "x" +
                  std::to_string(o.textureHeight) + "; give a larger --texture-size or leave it out");
            return kExitFailed;
        }
        art.textureWidth = o.textureWidth;
        art.textureHeight = o.textureHeight;
    } else if (!ChooseTextureSize(art, art.textureWidth, art.textureHeight)) {
        Error("the glyphs do not fit a 4096x4096 texture; take a smaller --size or fewer --ranges");
        return kExitFailed;
    }

    if (!MakeFolder(o.out)) return kExitFailed;
    const std::string textName = o.name + ".txt";
    if (!WriteFontExport(art, "zynfont", o.out, textName, error)) {
        Error(error);
        return kExitFailed;
    }
    OffscreenGL gl;
    if (!gl.Start()) {
        Error("no offscreen GL context");
        return kExitFailed;
    }
    BuiltFont built;
    if (!ImportFontExport(o.out, textName, error) || !CollectBuiltFont(art.FontName(), built, error)) {
        Error(error);
        return kExitFailed;
    }
    if (built.glyphCount != int(art.glyphs.size())) {
        Error("the import placed " + std::to_string(built.glyphCount) + " of " +
              std::to_string(art.glyphs.size()) + " glyphs");
        return kExitFailed;
    }
    std::vector<Zyn::PacPackage::Source> members;
    if (!WriteBuiltFont(o.out, art.FontName(), built, &members)) return kExitFailed;
    const std::string pac = o.out + "/" + o.name + ".pac";
    if (!Zyn::PacPackage::CreatePacPackage(members, pac.c_str())) {
        Error("cannot write " + pac);
        return kExitFailed;
    }
    std::printf("zynfont: %s: %d glyphs at %u px in a %ux%u texture", art.FontName().c_str(),
                built.glyphCount, o.size, art.textureWidth, art.textureHeight);
    if (report.missing > 0) std::printf(", %lld code points not in the font", report.missing);
    if (report.failed > 0) std::printf(", %d glyphs FreeType could not render", report.failed);
    std::printf("\n");
    return kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
    ZynTool::SetProgramName("zynfont");
    Options o;
    const std::string problem = ParseArgs(argc, argv, o);
    if (o.help) {
        std::fputs(kHelp, stdout);
        return kExitOk;
    }
    if (!problem.empty()) return Usage(problem);

    // The framework mirrors its log lines to stderr: warnings and errors, and
    // with -v the information lines too.
    Zyn::Root* root = Zyn::Singleton<Zyn::Root>::Get();
    root->m_LogLevel = o.verbose ? Zyn::kLogInfo : Zyn::kLogWarning;
    const int result = o.importText.empty() ? RunRasterise(o) : RunImport(o);
    root->Release();
    return result;
}
