// zyn-fxview: plays a particle effect headless on a fixed step and writes
// its frames as PNG files plus one contact sheet, for effect authors.
// The same options give the same bytes on every run: the step is fixed and
// rand() is never seeded, so the effect draws the framework's own sequence.
// Exit status: 0 success, 1 failure, 2 bad usage.
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <zyn/app/App.h>
#include <zyn/core/Root.h>
#include <zyn/graphics/Graphics.h>
#include <zyn/io/FolderPackage.h>
#include <zyn/io/PacPackage.h>
#include <zyn/io/VectorFile.h>
#include <zyn/platform/WindowSystem.h>
#include <zyn/particles/EffectManager.h>
#include <zyn/particles/ParticleEffectInstance.h>

#include "CommandArgs.h"
#include "HeadlessRecorder.h"
#include "SheetLayout.h"
#include "ToolOutput.h"

namespace fs = std::filesystem;
using Zyn::Root;
using ZynTool::Error;
using ZynTool::kExitFailed;
using ZynTool::kExitOk;
using ZynTool::ParseNumber;

namespace {

// The framework caps one step at 0.25 s; slower rates would play slow motion.
const double kMinFps = 4.0;
const double kMaxFps = 1000.0;
const double kMaxSeconds = 3600.0;
const long kMaxFrames = 100000;
const int kMinSide = 16;
const int kMaxSide = 4096;
// Effects files of any real size are far smaller.
const uintmax_t kMaxEffectBytes = 64u << 20;
const double kMaxPosition = 1e6;
const double kMaxScale = 1000.0;
const double kMaxPower = 1000.0;

const char* const kHelp =
    "Usage: zyn-fxview EFFECT.zyn [--pack PACK.pac] [OPTIONS]\n"
    "Plays a particle effect headless and writes its frames as PNG files\n"
    "(frame-00000.png, frame-00001.png, ...) and a contact sheet (contact.png).\n"
    "Frame k shows the effect (k + 1) / FPS seconds after it started. The same\n"
    "options give the same bytes on every run.\n"
    "\n"
    "  --pack PACK        mount a pack file where the effect's textures are found\n"
    "                     (may be repeated; searched in the order given)\n"
    "  --data DIR         mount a folder the same way\n"
    "  --seconds S        how long to play (default 2; at most 3600)\n"
    "  --fps F            frames per second, 4 to 1000 (default 30)\n"
    "  --size WxH         frame size in pixels, 16 to 4096 a side (default 512x384);\n"
    "                     the effect's coordinates are these pixels\n"
    "  --out DIR          where the images go (default: fxview-out); created\n"
    "                     when missing, earlier frames in it are overwritten\n"
    "  --position X,Y     where the effect plays (default: the middle)\n"
    "  --scale S          scale of the whole effect (default 1)\n"
    "  --power P          alpha multiplier of every particle (default 1)\n"
    "  --background RRGGBB  the colour behind the effect (default 000000)\n"
    "  -v, --verbose      show the framework's information lines\n"
    "  -h, --help         show this help\n"
    "\n"
    "The contact sheet shows up to 16 frames spread evenly over the run and\n"
    "ending with the last, 4 to a row, each scaled to fit 256 x 256 pixels,\n"
    "with its time in seconds beneath it.\n";

struct Options {
    std::string effect;
    std::vector<std::pair<std::string, std::string>> mounts;  // "--pack" or "--data", path
    double seconds = 2.0;
    double fps = 30.0;
    int width = 512;
    int height = 384;
    std::string out = "fxview-out";
    bool hasPosition = false;
    float x = 0.0f;
    float y = 0.0f;
    float scale = 1.0f;
    float power = 1.0f;
    Zyn::u32 background = 0xFF000000u;
    bool verbose = false;
    bool help = false;
};

bool ParseColor(std::string text, Zyn::u32& out) {
    if (!text.empty() && text[0] == '#') text.erase(0, 1);
    if (text.size() != 6) return false;
    for (char c : text)
        if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
    out = 0xFF000000u | Zyn::u32(std::strtoul(text.c_str(), nullptr, 16));
    return true;
}

/// Frames of a run: seconds times fps, rounded to the nearest.
int FrameCount(const Options& o) { return int(std::floor(o.seconds * o.fps + 0.5)); }

/// Fills o from the arguments; returns the problem, or empty.
std::string ParseOptions(int argc, char** argv, Options& o) {
    std::vector<std::string> positional;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "-h" || arg == "--help") {
            o.help = true;
            continue;
        }
        if (arg == "-v" || arg == "--verbose") {
            o.verbose = true;
            continue;
        }
        if (arg.size() < 2 || arg[0] != '-') {
            positional.push_back(arg);
            continue;
        }
        std::string value;
        const size_t eq = arg.find('=');
        if (arg.compare(0, 2, "--") == 0 && eq != std::string::npos) {
            value = arg.substr(eq + 1);
            arg = arg.substr(0, eq);
        } else {
            static const char* const kValued[] = {"--pack",  "--data",      "--seconds",  "--fps",
                                                  "--size",  "--out",       "--position", "--scale",
                                                  "--power", "--background"};
            bool known = false;
            for (const char* k : kValued) known = known || arg == k;
            if (!known) return "unknown option " + arg;
            if (i + 1 >= argc) return "option " + arg + " needs a value";
            value = argv[++i];
        }
        double d = 0.0;
        if (arg == "--pack" || arg == "--data") {
            if (value.empty()) return "option " + arg + " needs a value";
            o.mounts.emplace_back(arg, value);
        } else if (arg == "--seconds") {
            if (!ParseNumber(value, 0.0, kMaxSeconds, d) || !(d > 0.0))
                return "--seconds takes a number of seconds above 0 and at most 3600, not \"" + value + "\"";
            o.seconds = d;
        } else if (arg == "--fps") {
            if (!ParseNumber(value, kMinFps, kMaxFps, d))
                return "--fps takes a frame rate from 4 to 1000, not \"" + value + "\"";
            o.fps = d;
        } else if (arg == "--size") {
            if (!ZynTool::ParseSize(value, kMinSide, kMaxSide, o.width, o.height))
                return "--size takes WIDTHxHEIGHT, each from 16 to 4096, not \"" + value + "\"";
        } else if (arg == "--out") {
            if (value.empty()) return "option --out needs a value";
            o.out = value;
        } else if (arg == "--position") {
            const size_t comma = value.find(',');
            double px = 0.0, py = 0.0;
            if (comma == std::string::npos ||
                !ParseNumber(value.substr(0, comma), -kMaxPosition, kMaxPosition, px) ||
                !ParseNumber(value.substr(comma + 1), -kMaxPosition, kMaxPosition, py))
                return "--position takes X,Y, two numbers separated by a comma, not \"" + value + "\"";
            o.hasPosition = true;
            o.x = float(px);
            o.y = float(py);
        } else if (arg == "--scale") {
            if (!ParseNumber(value, 0.0, kMaxScale, d) || !(d > 0.0))
                return "--scale takes a number above 0 and at most 1000, not \"" + value + "\"";
            o.scale = float(d);
        } else if (arg == "--power") {
            if (!ParseNumber(value, 0.0, kMaxPower, d))
                return "--power takes a number from 0 to 1000, not \"" + value + "\"";
            o.power = float(d);
        } else if (arg == "--background") {
            if (!ParseColor(value, o.background))
                return "--background takes a colour as RRGGBB (six hex digits), not \"" + value + "\"";
        } else {
            return "option " + arg + " takes no value";
        }
    }
    if (o.help) return "";
    if (positional.size() != 1)
        return positional.empty() ? "no effect file given" : "give exactly one effect file";
    o.effect = positional[0];
    const double frames = std::floor(o.seconds * o.fps + 0.5);
    if (frames < 1.0) return "--seconds and --fps give no frame to write";
    if (frames > double(kMaxFrames)) return "--seconds times --fps asks for more than 100000 frames";
    return "";
}

/// Serves one file, read when mounted, under one name: the effect under preview.
class SingleFilePackage : public Zyn::Package {
public:
    SingleFilePackage(const std::string& member, std::vector<unsigned char> bytes)
        : Zyn::Package("zyn-fxview effect"), m_Member(member), m_Bytes(std::move(bytes)) {}
    Zyn::File* OpenFile(const char* name) override {
        if (!name || m_Member != name) return nullptr;
        return new Zyn::VectorFile(m_Bytes);
    }

private:
    std::string m_Member;
    std::vector<unsigned char> m_Bytes;
};

/// Clears the frame to one colour: the layer behind the effect.
class BackgroundLayer : public Zyn::AppObject {
public:
    explicit BackgroundLayer(Zyn::Color color) : Zyn::AppObject("background"), m_Color(color) {}
    bool Render(float) override { return Zyn::Graphics::ClearScreenViewport(m_Color, true, 1.0f, true); }

private:
    Zyn::Color m_Color;
};

bool ReadEffect(const std::string& path, std::vector<unsigned char>& bytes) {
    std::error_code ec;
    if (!fs::is_regular_file(path, ec)) {
        Error("cannot read %s: %s", path.c_str(),
              fs::exists(path, ec) ? "not a regular file" : "no such file");
        return false;
    }
    const uintmax_t size = fs::file_size(path, ec);
    if (ec || size > kMaxEffectBytes) {
        Error("cannot read %s: %s", path.c_str(), ec ? ec.message().c_str() : "too large for an effect file");
        return false;
    }
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        Error("cannot read %s: %s", path.c_str(), std::strerror(errno));
        return false;
    }
    bytes.resize(size_t(size));
    const bool ok = bytes.empty() || std::fread(bytes.data(), 1, bytes.size(), f) == bytes.size();
    std::fclose(f);
    if (!ok) Error("cannot read all of %s", path.c_str());
    return ok;
}

/// Mounts the packs and folders behind what is mounted; false after a message.
bool MountAll(const Options& o) {
    Root* root = Zyn::Singleton<Root>::Get();
    for (const auto& m : o.mounts) {
        std::error_code ec;
        Zyn::Package* package = nullptr;
        if (m.first == "--pack") {
            if (!fs::is_regular_file(m.second, ec)) {
                Error("cannot open pack %s", m.second.c_str());
                return false;
            }
            Zyn::PacPackage* pack = new Zyn::PacPackage(m.second.c_str());
            const std::string& name = pack->GetName();
            if (name.size() >= 4 && name.compare(name.size() - 4, 4, " (!)") == 0) {
                pack->AddRef();
                pack->Release();
                Error("cannot open pack %s", m.second.c_str());
                return false;
            }
            package = pack;
        } else {
            if (!fs::is_directory(m.second, ec)) {
                Error("cannot use %s as a data folder: not a folder", m.second.c_str());
                return false;
            }
            package = new Zyn::FolderPackage(m.second.c_str(), m.second.c_str());
        }
        root->InsertObject(package, Root::kPackages, 1, nullptr);
    }
    return true;
}

/// Plays the effect and records its frames; the GL context and the Root are set up.
int Play(const Options& o, const std::string& effectName, ZynTool::HeadlessRecorder& recorder) {
    Root* root = Zyn::Singleton<Root>::Get();
    const Zyn::Point3D<float> at(o.hasPosition ? o.x : float(o.width) * 0.5f,
                                 o.hasPosition ? o.y : float(o.height) * 0.5f, 0.0f);
    Zyn::ParticleEffectInstance* instance =
        Zyn::GetCreateEffectManager()->CreateInstance(effectName.c_str(), "preview", at, false);
    if (!instance) {
        Error("cannot load the effect %s (see the messages above)", o.effect.c_str());
        return kExitFailed;
    }
    Zyn::ParticleEffect* effect = instance->GetEffect();
    instance->SetScale(o.scale);
    instance->SetPower(o.power);

    Zyn::App* app = new Zyn::App("zyn-fxview");
    app->InsertObject(instance, Zyn::App::kActiveLayers, 0, nullptr);
    app->InsertObject(new BackgroundLayer(Zyn::Color(o.background)), Zyn::App::kActiveLayers, 1, nullptr);
    root->InsertObject(app, Root::kUpdate, 0, nullptr);
    root->ProcessSystemEvent(4, 1, 0);

    FxView::TimedSheet sheet(o.width, o.height, o.fps, FrameCount(o));
    const float step = recorder.GetStepSeconds();
    const bool recorded = recorder.Record(
        [&](int) {
            root->Update(step);
            return true;
        },
        &sheet);
    root->ProcessSystemEvent(4, 0, 0);
    root->RemoveObject(app, Root::kUpdate);
    // The manager keeps an effect that had an instance for the rest of the
    // run; a preview is done with it, and it must go before the textures
    // its emitters hold, which the Root's teardown may release first.
    if (effect) effect->Release();
    if (!recorded) return kExitFailed;
    recorder.PrintSummary();
    return kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
    ZynTool::SetProgramName("zyn-fxview");
    Root* root = Zyn::Singleton<Root>::Get();
    // Warnings and errors of the framework reach standard error; -v adds the rest.
    root->m_LogLevel = Zyn::kLogWarning;
    Options o;
    const std::string problem = ParseOptions(argc, argv, o);
    if (o.help) {
        std::fputs(kHelp, stdout);
        return kExitOk;
    }
    if (!problem.empty()) return ZynTool::Usage(problem);
    if (o.verbose) root->m_LogLevel = Zyn::kLogInfo;

    std::vector<unsigned char> effectBytes;
    if (!ReadEffect(o.effect, effectBytes)) return kExitFailed;
    ZynTool::RecorderSettings settings;
    settings.outFolder = o.out;
    settings.width = o.width;
    settings.height = o.height;
    settings.framesPerSecond = o.fps;
    settings.frameCount = FrameCount(o);
    ZynTool::HeadlessRecorder recorder(settings);
    if (!recorder.Open()) return kExitFailed;

    Zyn::WindowSystem::SetSurface(recorder.GetSurface());
    Zyn::AppSettings appSettings;
    appSettings.screenWidth = appSettings.appWidth = o.width;
    appSettings.screenHeight = appSettings.appHeight = o.height;
    appSettings.appName = "zyn-fxview";
    appSettings.windowed = true;
    int status = kExitFailed;
    if (!root->Init(appSettings)) {
        Error("cannot create an offscreen GL context (see the messages above)");
    } else if (recorder.CheckContext()) {
        // The effect is served under its own file name, in front of every pack.
        const std::string effectName = fs::path(o.effect).filename().string();
        root->InsertObject(new SingleFilePackage(effectName, std::move(effectBytes)), Root::kPackages, 0,
                           nullptr);
        if (MountAll(o)) status = Play(o, effectName, recorder);
    }
    // Layers, effects, textures and packages go while the context still
    // exists; the recorder's surface goes last.
    root->Release();
    Zyn::WindowSystem::SetSurface(nullptr);
    return status;
}
