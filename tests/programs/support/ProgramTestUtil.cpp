#include "programs/support/ProgramTestUtil.h"

#include <sys/wait.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <zyn/core/BasicSerializator.h>
#include <zyn/graphics/Texture.h>
#include <zyn/io/VectorFile.h>
#include <zyn/graphics/image/ImageDecode.h>
#include <zyn/particles/ParAffectorGravity.h>
#include <zyn/particles/ParticleEffect.h>
#include <zyn/particles/SimpleEmitter.h>
#include <zyn/particles/SprayEmitter.h>

namespace ZynTest {

namespace {

std::string Quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

class JsonParser {
public:
    explicit JsonParser(const std::string& s) : m_S(s) {}

    bool Document(Json& out, std::string& error) {
        Space();
        if (!Value(out, 0)) {
            error = "bad JSON at offset " + std::to_string(m_Pos);
            return false;
        }
        Space();
        if (m_Pos != m_S.size()) {
            error = "text after the JSON document at offset " + std::to_string(m_Pos);
            return false;
        }
        return true;
    }

private:
    void Space() {
        while (m_Pos < m_S.size() &&
               (m_S[m_Pos] == ' ' || m_S[m_Pos] == '\t' || m_S[m_Pos] == '\r' || m_S[m_Pos] == '\n'))
            ++m_Pos;
    }
    bool Eat(char c) {
        if (m_Pos < m_S.size() && m_S[m_Pos] == c) {
            ++m_Pos;
            return true;
        }
        return false;
    }
    bool Word(const char* w) {
        const size_t n = std::strlen(w);
        if (m_S.compare(m_Pos, n, w) != 0) return false;
        m_Pos += n;
        return true;
    }

    bool Value(Json& out, int depth) {
        if (depth > 200 || m_Pos >= m_S.size()) return false;
        const char c = m_S[m_Pos];
        if (c == '{') return Object(out, depth);
        if (c == '[') return Array(out, depth);
        if (c == '"') {
            out.type = Json::kString;
            return String(out.text);
        }
        if (Word("true") || Word("false")) {
            out.type = Json::kBool;
            out.boolean = c == 't';
            return true;
        }
        if (Word("null")) {
            out.type = Json::kNull;
            return true;
        }
        return Number(out);
    }

    bool Object(Json& out, int depth) {
        out.type = Json::kObject;
        ++m_Pos;
        Space();
        if (Eat('}')) return true;
        for (;;) {
            Space();
            std::string key;
            if (m_Pos >= m_S.size() || m_S[m_Pos] != '"' || !String(key)) return false;
            Space();
            if (!Eat(':')) return false;
            Space();
            Json v;
            if (!Value(v, depth + 1)) return false;
            out.members.emplace_back(key, v);
            Space();
            if (Eat('}')) return true;
            if (!Eat(',')) return false;
        }
    }

    bool Array(Json& out, int depth) {
        out.type = Json::kArray;
        ++m_Pos;
        Space();
        if (Eat(']')) return true;
        for (;;) {
            Space();
            Json v;
            if (!Value(v, depth + 1)) return false;
            out.items.push_back(v);
            Space();
            if (Eat(']')) return true;
            if (!Eat(',')) return false;
        }
    }

    bool Hex4(unsigned& v) {
        if (m_Pos + 4 > m_S.size()) return false;
        v = 0;
        for (int i = 0; i < 4; ++i) {
            const char c = m_S[m_Pos++];
            v <<= 4;
            if (c >= '0' && c <= '9')
                v |= unsigned(c - '0');
            else if (c >= 'a' && c <= 'f')
                v |= unsigned(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F')
                v |= unsigned(c - 'A' + 10);
            else
                return false;
        }
        return true;
    }

    static void Utf8(unsigned cp, std::string& out) {
        if (cp < 0x80) {
            out += char(cp);
        } else if (cp < 0x800) {
            out += char(0xC0 | (cp >> 6));
            out += char(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += char(0xE0 | (cp >> 12));
            out += char(0x80 | ((cp >> 6) & 0x3F));
            out += char(0x80 | (cp & 0x3F));
        } else {
            out += char(0xF0 | (cp >> 18));
            out += char(0x80 | ((cp >> 12) & 0x3F));
            out += char(0x80 | ((cp >> 6) & 0x3F));
            out += char(0x80 | (cp & 0x3F));
        }
    }

    bool String(std::string& out) {
        ++m_Pos;
        out.clear();
        while (m_Pos < m_S.size()) {
            const unsigned char c = static_cast<unsigned char>(m_S[m_Pos++]);
            if (c == '"') return true;
            if (c < 0x20) return false;
            if (c != '\\') {
                out += char(c);
                continue;
            }
            if (m_Pos >= m_S.size()) return false;
            const char e = m_S[m_Pos++];
            switch (e) {
                case '"':
                    out += '"';
                    break;
                case '\\':
                    out += '\\';
                    break;
                case '/':
                    out += '/';
                    break;
                case 'b':
                    out += '\b';
                    break;
                case 'f':
                    out += '\f';
                    break;
                case 'n':
                    out += '\n';
                    break;
                case 'r':
                    out += '\r';
                    break;
                case 't':
                    out += '\t';
                    break;
                case 'u': {
                    unsigned cp = 0;
                    if (!Hex4(cp)) return false;
                    if (cp >= 0xD800 && cp <= 0xDBFF) {
                        unsigned low = 0;
                        if (!Word("\\u") || !Hex4(low) || low < 0xDC00 || low > 0xDFFF) return false;
                        cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                    } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
                        return false;
                    }
                    Utf8(cp, out);
                    break;
                }
                default:
                    return false;
            }
        }
        return false;
    }

    bool Number(Json& out) {
        const size_t start = m_Pos;
        Eat('-');
        if (Eat('0')) {
        } else if (m_Pos < m_S.size() && m_S[m_Pos] >= '1' && m_S[m_Pos] <= '9') {
            while (m_Pos < m_S.size() && std::isdigit(static_cast<unsigned char>(m_S[m_Pos]))) ++m_Pos;
        } else {
            return false;
        }
        if (Eat('.')) {
            if (m_Pos >= m_S.size() || !std::isdigit(static_cast<unsigned char>(m_S[m_Pos]))) return false;
            while (m_Pos < m_S.size() && std::isdigit(static_cast<unsigned char>(m_S[m_Pos]))) ++m_Pos;
        }
        if (Eat('e') || Eat('E')) {
            if (!Eat('+')) Eat('-');
            if (m_Pos >= m_S.size() || !std::isdigit(static_cast<unsigned char>(m_S[m_Pos]))) return false;
            while (m_Pos < m_S.size() && std::isdigit(static_cast<unsigned char>(m_S[m_Pos]))) ++m_Pos;
        }
        out.type = Json::kNumber;
        out.number = std::strtod(m_S.substr(start, m_Pos - start).c_str(), nullptr);
        return true;
    }

    const std::string& m_S;
    size_t m_Pos = 0;
};

}  // namespace

RunResult RunProgram(const std::string& program, const TempDir& dir, const std::vector<std::string>& args) {
    std::string command = "cd " + Quote(dir.Path()) + " && " + Quote(program);
    for (const std::string& a : args) command += " " + Quote(a);
    command += " 2>" + Quote(dir / ".stderr");
    RunResult r;
    FILE* p = popen(command.c_str(), "r");
    if (!p) return r;
    char buffer[4096];
    while (size_t n = std::fread(buffer, 1, sizeof buffer, p)) r.out.append(buffer, n);
    const int status = pclose(p);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    const Bytes err = ReadBytes(dir / ".stderr");
    r.err.assign(err.begin(), err.end());
    return r;
}

Bytes SaveStream(Zyn::Object* root) {
    Zyn::VectorFile file;
    Zyn::BasicSerializator serializator(&file);
    if (!serializator.SaveHierarchy(root)) return Bytes();
    return file.GetVector();
}

bool WriteStream(Zyn::Object* root, const std::string& path) {
    const Bytes bytes = SaveStream(root);
    if (bytes.empty()) return false;
    WriteBytes(path, bytes);
    return true;
}

Bytes GlowTga() {
    const unsigned side = 16;
    Bytes b(18, 0);
    b[2] = 2;
    b[12] = side;
    b[14] = side;
    b[16] = 32;
    b[17] = 0x28;  // top-left origin, 8 alpha bits
    for (unsigned y = 0; y < side; ++y) {
        for (unsigned x = 0; x < side; ++x) {
            const double dx = x + 0.5 - side / 2.0, dy = y + 0.5 - side / 2.0;
            const double d = std::sqrt(dx * dx + dy * dy) / (side / 2.0);
            const unsigned char a = static_cast<unsigned char>(d >= 1.0 ? 0 : 255.0 * (1.0 - d));
            b.insert(b.end(), {255, 255, 255, a});
        }
    }
    return b;
}

Zyn::Object* MakeEffect(const std::string& textureName) {
    Zyn::ParticleEffect* effect = new Zyn::ParticleEffect("effect");
    effect->SetEffectTime(2.0f);
    effect->SetDefaultPlaySpeed(1.0f);

    Zyn::SprayEmitter* spray = new Zyn::SprayEmitter("spray");
    spray->SetEmittRate(80.0f);
    spray->SetSpeedMin(60.0f);
    spray->SetSpeedMax(100.0f);
    spray->SetAngleMin(-70.0f);
    spray->SetAngleMax(70.0f);
    spray->SetPartLifeMin(0.6f);
    spray->SetPartLifeMax(0.9f);
    spray->SetEmittEnd(2.0f);
    spray->SetSizeCurve({{0.0f, 1.5f, 1.5f}, {1.0f, 0.5f, 0.5f}});
    spray->SetColorCurve({{0.0f, 255.0f, 255.0f, 200.0f, 220.0f, 60.0f, 80.0f},
                          {1.0f, 255.0f, 255.0f, 60.0f, 80.0f, 0.0f, 0.0f}});
    Zyn::Texture* texture = new Zyn::Texture(textureName.c_str());
    spray->SetTexture(texture);

    Zyn::ParAffectorGravity* pull = new Zyn::ParAffectorGravity("pull");
    pull->SetStrength(Zyn::Point2D<float>(1.0f, 1.0f));
    pull->SetAccelerate(0.99f);
    spray->InsertObject(pull, 0, 1, nullptr);
    effect->InsertObject(spray, Zyn::ParticleEffect::kEmitters, 1, nullptr);

    Zyn::SimpleEmitter* sparks = new Zyn::SimpleEmitter("sparks");
    sparks->SetEmittRate(5.0f);
    sparks->SetGravity(Zyn::Point2D<float>(0.0f, 30.0f));
    effect->InsertObject(sparks, Zyn::ParticleEffect::kEmitters, 1, nullptr);
    return effect;
}

bool ReadPng(const std::string& path, int& w, int& h, Bytes& rgba) {
    const Bytes file = ReadBytes(path);
    static const unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (file.size() < 8 || std::memcmp(file.data(), kSignature, 8) != 0) return false;
    unsigned uw = 0, uh = 0;
    int channels = 0;
    unsigned char* pixels = Zyn::DecodeImage(file.data(), file.size(), &uw, &uh, &channels, true, 16384);
    if (!pixels) return false;
    w = int(uw);
    h = int(uh);
    rgba.assign(pixels, pixels + size_t(uw) * uh * 4);
    std::free(pixels);
    return channels == 4;
}

const Json* Json::Get(const std::string& key) const {
    for (const auto& m : members)
        if (m.first == key) return &m.second;
    return nullptr;
}

std::string Json::Str(const std::string& key) const {
    const Json* v = Get(key);
    return v && v->type == kString ? v->text : std::string();
}

bool ParseJson(const std::string& text, Json& out, std::string& error) {
    out = Json();
    return JsonParser(text).Document(out, error);
}

}  // namespace ZynTest
