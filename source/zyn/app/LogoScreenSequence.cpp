#include <zyn/app/LogoScreenSequence.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include <zyn/core/Root.h>
#include <zyn/graphics/Graphics.h>
#include <zyn/graphics/Texture.h>
#include <zyn/graphics/TextureManager.h>
#include <zyn/io/File.h>
#include <zyn/io/TextScan.h>

namespace Zyn {

ZYN_IMPLEMENT_CLASS(LogoScreenSequence, "LogoScreenSequence", &LogoScreenSequence::StaticCreate, nullptr,
                    nullptr, AppObject)

namespace {

const double kPi = 3.14159265358979323846;
// Shorter files cannot hold a useful configuration and are ignored.
const unsigned kMinConfigBytes = 25;

bool StartsWith(const char* text, const char* prefix) {
    return std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// atoi's value without its undefined behaviour on overflow.
int ParseInt(const char* text) {
    const long v = std::strtol(text, nullptr, 10);
    return v > INT_MAX ? INT_MAX : (v < INT_MIN ? INT_MIN : int(v));
}

// A colour component as a byte: the value modulo 256, never negative.
int ColorByte(int v) { return ((v % 256) + 256) % 256; }

// R,G,B at the cursor, inside the value (it ends at the next blank). False
// when a comma is missing.
bool ParseColor(const char* p, int* rgb) {
    for (int i = 0; i < 3; ++i) {
        if (i > 0) {
            while (*p != '\0' && !IsBlank(*p) && *p != ',') ++p;
            if (*p != ',') return false;
            ++p;
        }
        rgb[i] = ColorByte(ParseInt(p));
    }
    return true;
}

// The manager's texture for the name with its reference, or null when it
// could only answer its stand-in: that one would draw as a plain square over
// the screen's colour.
Texture* FetchTexture(const char* name) {
    Texture* texture = GetCreateTextureManager()->GetResourceTyped(name);
    Texture* standIn = Texture::GetNullResource();
    if (standIn) standIn->Release();
    if (texture && texture == standIn) {
        texture->Release();
        return nullptr;
    }
    return texture;
}

// A colour byte of a fade amount in 0..1.
u32 FadeByte(float f) {
    const float a = f * 255.0f;
    if (!(a > 0.0f)) return 0;
    return a >= 255.0f ? 255u : u32(a);
}

}  // namespace

Object* LogoScreenSequence::StaticCreate(const char* name) {
    return new LogoScreenSequence(name, nullptr, nullptr);
}

LogoScreenSequence::LogoScreenSequence(const char* name, const char* configFile, Callback callback)
    : AppObject(name), m_pfnCallback(callback) {
    const std::string file = configFile ? std::string(configFile) : GetName();
    ReadConfig(file.c_str());
}

LogoScreenSequence::~LogoScreenSequence() { ResizeScreens(0); }

void LogoScreenSequence::ResizeScreens(size_t count) {
    for (size_t i = count; i < m_Screens.size(); ++i) {
        if (m_Screens[i].texture) m_Screens[i].texture->Release();
        m_Screens[i].texture = nullptr;
    }
    m_Screens.resize(count);
}

void LogoScreenSequence::SetColor(Color color) {
    for (ScreenDesc& s : m_Screens) s.color = color;
    m_BackColor = color;
}

void LogoScreenSequence::SetTime(float time) {
    for (ScreenDesc& s : m_Screens) s.time = time;
}

void LogoScreenSequence::ReadConfig(const char* fileName) {
    File* file = Singleton<Root>::Get()->OpenFile(fileName, true);
    if (!file) return;
    const unsigned size = file->GetFileSize();
    if (size < kMinConfigBytes || size > kMaxConfigBytes) {
        delete file;
        if (size < kMinConfigBytes)
            LogSend(kLogWarning, "LogoScreenSequence: configuration <%s> is too short (%u bytes), ignored",
                    fileName, size);
        else
            LogSend(kLogError, "LogoScreenSequence: configuration <%s> is too large (%u bytes), ignored",
                    fileName, size);
        return;
    }
    std::vector<char> text(size_t(size) + 1);
    unsigned got = 0;
    while (got < size) {
        const unsigned n = file->Read(text.data() + got, size - got);
        if (n == 0) break;
        got += n;
    }
    delete file;
    // Only what was read is parsed, whatever the stream claimed.
    text[got] = '\0';
    if (got < size)
        LogSend(kLogWarning, "LogoScreenSequence: configuration <%s> ended after %u of %u bytes", fileName,
                got, size);
    ParseConfig(text.data(), fileName);
}

void LogoScreenSequence::ParseConfig(const char* text, const char* fileName) {
    const char* p = text;
    while (SkipWhiteSpaceAndComments(&p)) {
        if (StartsWith(p, "screen_count")) {
            if (!SkipKeyword(&p) || !SkipPart(&p, fileName)) return;
            const int count = ParseInt(p);
            if (count < 1 || count > 99) {
                LogSend(kLogWarning,
                        "Logic error in <%s>. The class supports from 1 to 99 screens (%d in file)", fileName,
                        count);
                return;
            }
            ResizeScreens(size_t(count));
            LogSend(kLogDebug, "LogoScreenSequence: screen count set to: %d", count);
        } else if (StartsWith(p, "screen_time_") || StartsWith(p, "screen_back_") ||
                   StartsWith(p, "screen_file_")) {
            const char kind = p[7];  // 't', 'b' or 'f'
            const int number = ParseInt(p + 12);
            if (number < 1 || number > int(m_Screens.size())) {
                LogSend(kLogWarning, "Logic error in <%s>. Invalid screen idd (%d in file)", fileName,
                        number);
                return;
            }
            const int index = number - 1;
            ScreenDesc& screen = m_Screens[size_t(index)];
            if (!SkipKeyword(&p) || !SkipPart(&p, fileName)) return;
            if (kind == 't') {
                const double time = std::strtod(p, nullptr);
                // A negative, endless or undefined length would hold the screen for ever.
                if (!(time >= 0.0 && time <= FLT_MAX)) {
                    LogSend(kLogWarning, "Logic error in <%s>. Invalid screen time (%f in file)", fileName,
                            time);
                    return;
                }
                screen.time = float(time);
                LogSend(kLogDebug, "LogoScreenSequence: time set for screen %d to: %f", index, time);
            } else if (kind == 'b') {
                int rgb[3];
                if (!ParseColor(p, rgb)) {
                    LogSend(kLogWarning, "Syntax error in <%s>. A color is written R,G,B", fileName);
                    return;
                }
                screen.color = Color(0xFF000000u | u32(rgb[0]) << 16 | u32(rgb[1]) << 8 | u32(rgb[2]));
                LogSend(kLogDebug, "LogoScreenSequence: screen color set for screen %d to: %d, %d, %d", index,
                        rgb[0], rgb[1], rgb[2]);
            } else {
                const char* end = p;
                while (*end != '\0' && !IsBlank(*end)) ++end;
                const std::string name(p, end);
                Texture* texture = FetchTexture(name.c_str());
                if (screen.texture) screen.texture->Release();
                screen.texture = texture;
                LogSend(kLogDebug, "LogoScreenSequence: texture set for screen %d to: %s", index,
                        name.c_str());
            }
        } else if (StartsWith(p, "screen_time")) {
            if (!SkipKeyword(&p) || !SkipPart(&p, fileName)) return;
            const double time = std::strtod(p, nullptr);
            if (!(time >= 0.0 && time <= FLT_MAX)) {
                LogSend(kLogWarning, "Logic error in <%s>. Invalid screen time (%f in file)", fileName, time);
                return;
            }
            SetTime(float(time));
            LogSend(kLogDebug, "LogoScreenSequence: screen time set for all screens to: %f", time);
        } else if (StartsWith(p, "screen_back")) {
            if (!SkipKeyword(&p) || !SkipPart(&p, fileName)) return;
            int rgb[3];
            if (!ParseColor(p, rgb)) {
                LogSend(kLogWarning, "Syntax error in <%s>. A color is written R,G,B", fileName);
                return;
            }
            SetColor(Color(0xFF000000u | u32(rgb[0]) << 16 | u32(rgb[1]) << 8 | u32(rgb[2])));
            LogSend(kLogDebug, "LogoScreenSequence: screen color set for all screens to: %d, %d, %d", rgb[0],
                    rgb[1], rgb[2]);
        } else {
            SkipKeyword(&p);
            LogSend(kLogWarning, "Syntax error in <%s>. Unrecognized command skipped", fileName);
            continue;
        }
        // Past the value; a value that ends the text ends the reading.
        if (!SkipKeyword(&p)) return;
    }
}

bool LogoScreenSequence::Update(float dt) {
    if (m_Current < 0 || m_Current >= int(m_Screens.size())) return false;
    m_fTime += dt;
    Root* root = Singleton<Root>::Get();
    static const int kSkipKeys[] = {1, 27, 32, 13, 2};
    bool pressed = false;
    for (int key : kSkipKeys) {
        if (root->m_KeyStates[key] & Root::kKeyPressed) {
            pressed = true;
            break;
        }
    }
    ScreenDesc& screen = m_Screens[size_t(m_Current)];
    if (pressed && !root->m_bInputLocked) {
        if (m_fTime < kFadeTime)
            screen.time = kSkippedTime;
        else if (m_fTime < screen.time - kFadeTime)
            m_fTime = screen.time - kFadeTime;
    }
    if (m_fTime >= screen.time) {
        m_fTime -= screen.time;
        ++m_Current;
        // The callback may destroy the sequence: nothing is touched after it.
        if (m_Current == int(m_Screens.size()) && m_pfnCallback) m_pfnCallback(this);
    }
    return false;
}

bool LogoScreenSequence::Render(float) {
    Graphics::SetBlendingMode(BLEND_ALPHA);
    Graphics::SetTexture(TexHandle());
    if (m_Current < 0 || m_Current >= int(m_Screens.size()) || !(m_fTime > 0.0f)) {
        Graphics::Clear(m_BackColor, 0.0f, false);
        return true;
    }
    const ScreenDesc& screen = m_Screens[size_t(m_Current)];
    const double t = m_fTime;
    const double d = screen.time;
    float fade;
    float scale;
    if (m_fTime < kFadeTime) {
        fade = 1.0f - (std::cos(float(1.25 * t * kPi - kPi)) + 1.0f) / 2.0f;
        scale = 1.0f - (std::cos(float(0.625 * (0.8 - t) * kPi - kPi)) + 1.0f) / 8.0f;
    } else if (m_fTime <= screen.time - kFadeTime) {
        fade = 0.0f;
        scale = 1.0f;
    } else {
        fade = 1.0f - (std::cos(float(1.25 * (t - d) * kPi - kPi)) + 1.0f) / 2.0f;
        scale = 1.0f + (std::cos(float(0.625 * (t + 0.8 - d) * kPi - kPi)) + 1.0f) / 8.0f;
    }
    Graphics::Clear(screen.color, 0.0f, false);
    if (screen.texture) {
        const AppSettings* s = Singleton<Root>::Get()->GetAppSettings();
        screen.texture->DrawSpriteEx(0, float(int(float(s->appWidth) * 0.5f)),
                                     float(int(float(s->appHeight) * 0.5f)), 0.0f, scale, scale, 0.0f,
                                     Color(0xFFFFFFFFu));
    }
    if (fade > 0.0f) {
        Graphics::SetTexture(TexHandle());
        Graphics::Clear(Color(FadeByte(fade) << 24 | (m_BackColor & 0x00FFFFFFu)), 0.0f, false);
    }
    return true;
}

}  // namespace Zyn
