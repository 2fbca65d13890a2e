#include <zyn/graphics/Texture.h>

#include <GL/gl.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include <zyn/core/Property.h>
#include <zyn/core/Root.h>
#include <zyn/graphics/GraphicsTexture.h>
#include <zyn/graphics/TextureManager.h>
#include <zyn/io/File.h>
#include <zyn/io/TextScan.h>

namespace Zyn {

namespace {

ResourceManagerBase* TextureManagerGetter() { return GetCreateTextureManager(); }

// The null texture while it exists; it is never deleted by Release.
Texture* g_pNullTexture = nullptr;

const unsigned kSpriteRecordBytes = 24;
// The shortest sprite line the text format can hold: "<SPRITE=0,0,0,0,0,0>".
const unsigned kMinSpriteTextBytes = 20;
// Sprite text files are small; anything beyond this is not one.
const unsigned kMaxSpriteTextBytes = 64u << 20;

// Bytes between the position and the end; the position is left unchanged.
unsigned BytesLeft(File& f) {
    const unsigned pos = f.Seek(0, 2);
    const unsigned end = f.Seek(0, 1);
    f.Seek(int(pos), 0);
    return end > pos ? end - pos : 0;
}

bool EndsWith(const std::string& s, const char* suffix) {
    const size_t n = std::strlen(suffix);
    return s.size() > n && s.compare(s.size() - n, n, suffix) == 0;
}

struct FileDeleter {
    void operator()(File* f) const { delete f; }
};
typedef std::unique_ptr<File, FileDeleter> FilePtr;

// Truncating conversions that stay defined for any float a sprite file holds.
int TruncToInt(float v) {
    if (!(v > -2147483648.0f)) return v != v ? 0 : INT32_MIN;
    if (v >= 2147483648.0f) return INT32_MAX;
    return int(v);
}
short TruncToShort(float v) {
    const int i = TruncToInt(v);
    return short(i < -32768 ? -32768 : (i > 32767 ? 32767 : i));
}
int ClampToInt(long long v) { return int(v < INT32_MIN ? INT32_MIN : (v > INT32_MAX ? INT32_MAX : v)); }

FilePtr OpenPackaged(const std::string& name, bool logFailure) {
    return FilePtr(Singleton<Root>::Get()->OpenFile(name.c_str(), logFailure));
}

}  // namespace

ZYN_IMPLEMENT_CLASS3(Texture, "Texture", &Texture::StaticCreate, &TextureManagerGetter,
                     &Texture::RegisterProps, Resource, IExportable, IImportable)

bool Texture::ms_bMipMaps = false;
bool Texture::ms_bBlendMipLevels = true;
BasicVertex Texture::ms_SpriteVertex[4];

void Texture::RegisterProps(Class* cls) {
    cls->InsertValueProp(new GetSetMemberProp<Texture, int>(
        "Sprite Count", "The number of sprites defined iside the texture including the 0 sprite",
        &Texture::GetSpriteCount, nullptr, ValueProperty::kReadOnly));
}

Texture::Texture(const char* name) : Resource(name) {
    // A texture without GL texture still offers a usable sprite 0 of 128 x 128.
    m_Width = m_Height = 128;
    ResetSprites();
    m_Width = m_Height = 0;
}

Texture::~Texture() {
    // The record is freed even when the GL name is no longer valid.
    if (!m_Handle.IsNull()) Graphics::ReleaseTexture(m_Handle);
}

Texture* Texture::GetNullResource() {
    struct Holder {
        Holder() { g_pNullTexture = new Texture("null_texture"); }
        ~Holder() {
            Texture* t = g_pNullTexture;
            g_pNullTexture = nullptr;
            delete t;
        }
    };
    static Holder holder;
    if (!g_pNullTexture) return nullptr;
    g_pNullTexture->AddRef();
    return g_pNullTexture;
}

void Texture::DeleteThis() {
    if (this == g_pNullTexture) {
        // Released to the end: it stays, and counts its references afresh.
        m_RefCount = 0;
        return;
    }
    delete this;
}

void Texture::ReleaseGLTexture() {
    if (m_Handle.IsNull()) return;
    Graphics::ReleaseTexture(m_Handle);
    m_Handle = TexHandle();
    m_Width = m_Height = 128;
    ResetSprites();
    m_Width = m_Height = 0;
}

bool Texture::LoadFromFile(File& file) {
    ReleaseGLTexture();

    if (EndsWith(m_Name, ".tex")) {
        std::string colorName, alphaName, spriteName;
        char line[128];
        while (!file.IsEnd()) {
            const unsigned before = file.Seek(0, 1);
            const unsigned n = file.ReadLine(line, sizeof line);
            if (n >= 3 && line[1] == ':') {
                if (line[0] == 'c') colorName = line + 2;
                if (line[0] == 'a') alphaName = line + 2;
                if (line[0] == 's') spriteName = line + 2;
            }
            // A stream that neither advances nor ends must not spin forever.
            if (n == 0 && file.Seek(0, 1) == before) break;
        }
        if (colorName.empty()) return false;
        FilePtr color = OpenPackaged(colorName, true);
        if (!color) return false;
        FilePtr alpha = alphaName.empty() ? FilePtr() : OpenPackaged(alphaName, true);
        if (alpha)
            m_Handle = Graphics::CreateAlphaMergedTexture(*color, *alpha, ms_bMipMaps);
        else
            m_Handle = Graphics::CreateTexture(*color, ms_bMipMaps, false);
        if (m_Handle.IsOk()) {
            if (!ms_bBlendMipLevels) Graphics::SetMipLevelBlending(m_Handle, false);
            Graphics::GetTextureSize(m_Handle, &m_Width, &m_Height);
            ResetSprites();
            if (!spriteName.empty()) {
                if (FilePtr ex = OpenPackaged(spriteName, true)) (void)LoadTextureExData(*ex, 0, 0);
            }
        }
        return true;
    }

    if (FilePtr alpha = OpenPackaged(m_Name + "_a", false))
        m_Handle = Graphics::CreateAlphaMergedTexture(file, *alpha, ms_bMipMaps);
    else
        m_Handle = Graphics::CreateTexture(file, ms_bMipMaps, false);
    if (m_Handle.IsOk()) {
        if (!ms_bBlendMipLevels) Graphics::SetMipLevelBlending(m_Handle, false);
        Graphics::GetTextureSize(m_Handle, &m_Width, &m_Height);
        LogSend(kLogDebug, "Texture (%s) loaded with size: %d, %d", m_Name.c_str(), int(m_Width),
                int(m_Height));
        ResetSprites();
        if (FilePtr ex = OpenPackaged(m_Name + "_ex", false)) (void)LoadTextureExData(*ex, 0, 0);
    } else {
        LogSend(kLogError, "Failed to load texture... using NULL resource");
    }
    return true;
}

bool Texture::InitEmptyTexture(unsigned width, unsigned height, bool mipmaps) {
    ReleaseGLTexture();
    m_Handle = Graphics::CreateTexture(width, height, mipmaps);
    if (m_Handle.IsOk()) {
        m_Width = width;
        m_Height = height;
        ResetSprites();
        return true;
    }
    LogSend(kLogError, "Failed to create empty texture... ");
    return false;
}

int Texture::RegisterSprite(int x1, int y1, int x2, int y2) {
    const long long w = std::llabs((long long)x2 - x1);
    const long long h = std::llabs((long long)y2 - y1);
    return RegisterSprite(x1, y1, x2, y2, short(w / 2), short(h / 2));
}

int Texture::RegisterSprite(int x1, int y1, int x2, int y2, short xOrigin, short yOrigin) {
    // A texture without size maps every sprite to 0 rather than to infinity.
    const float invW = m_Width ? 1.0f / float(m_Width) : 0.0f;
    const float invH = m_Height ? 1.0f / float(m_Height) : 0.0f;
    SpriteDef s;
    s.width = u16(std::llabs((long long)x2 - x1));
    s.height = u16(std::llabs((long long)y2 - y1));
    s.xOrigin = xOrigin;
    s.yOrigin = yOrigin;
    s.uLeft = float(x1) * invW;
    s.uRight = float(x2) * invW;
    s.vTop = float(y1) * invH;
    s.vBottom = float(y2) * invH;
    m_Sprites.push_back(s);
    return int(m_Sprites.size()) - 1;
}

void Texture::ResetSprites() {
    m_Sprites.clear();
    RegisterSprite(0, 0, int(m_Width), int(m_Height));
}

void Texture::TranslateSpriteDef(unsigned id, int dx, int dy) {
    if (id == 0 || id >= m_Sprites.size() || !m_Width || !m_Height) return;
    SpriteDef& s = m_Sprites[id];
    const float w = float(m_Width);
    const float h = float(m_Height);
    const double x = TruncToInt(w * s.uLeft);
    const double y = TruncToInt(h * s.vTop);
    s.uRight = float((x + dx + s.width) / w);
    s.uLeft = float((x + dx) / w);
    s.vBottom = float((y + dy + s.height) / h);
    s.vTop = float((y + dy) / h);
}

Rect<short> Texture::GetSpriteTextureRect(unsigned id) const {
    const SpriteDef& s = GetSpriteDef(id);
    const float w = float(m_Width);
    const float h = float(m_Height);
    return Rect<short>(TruncToShort(w * s.uLeft), TruncToShort(h * s.vTop), TruncToShort(w * s.uRight),
                       TruncToShort(h * s.vBottom));
}

void Texture::SendSpriteQuad(const SpriteDef& s) {
    BasicVertex* v = ms_SpriteVertex;
    v[0].u = s.uLeft;
    v[0].v = s.vTop;
    v[1].u = s.uRight;
    v[1].v = s.vTop;
    v[2].u = s.uRight;
    v[2].v = s.vBottom;
    v[3].u = s.uLeft;
    v[3].v = s.vBottom;
    Graphics::RenderQuads(v, 1);
}

void Texture::DrawSprite(unsigned id, float x, float y, float z, Color color) {
    const SpriteDef& s = GetSpriteDef(id);
    DrawSpriteSimple(id < m_Sprites.size() ? id : 0, x - float(s.xOrigin), y - float(s.yOrigin), z, color);
}

void Texture::DrawSpriteSimple(unsigned id, float x, float y, float z, Color color) {
    const SpriteDef& s = GetSpriteDef(id);
    Graphics::SetTexture(m_Handle);
    const float w = float(s.width);
    const float h = float(s.height);
    BasicVertex* v = ms_SpriteVertex;
    v[0].x = x;
    v[0].y = y;
    v[1].x = x + w;
    v[1].y = y;
    v[2].x = x + w;
    v[2].y = y + h;
    v[3].x = x;
    v[3].y = y + h;
    for (int i = 0; i < 4; ++i) {
        v[i].z = z;
        v[i].color = color;
    }
    SendSpriteQuad(s);
}

void Texture::DrawSpriteEx(unsigned id, float x, float y, float angle, float scaleX, float scaleY, float z,
                           Color color) {
    DrawSpriteEx(id, x, y, angle, scaleX, scaleY, z, color, color, color, color);
}

void Texture::DrawSpriteEx(unsigned id, float x, float y, float angle, float scaleX, float scaleY, float z,
                           Color c0, Color c1, Color c2, Color c3) {
    const SpriteDef& s = GetSpriteDef(id);
    Graphics::SetTexture(m_Handle);
    BasicVertex* v = ms_SpriteVertex;
    const float ox = float(s.xOrigin);
    const float oy = float(s.yOrigin);
    const float w = float(s.width);
    const float h = float(s.height);
    if (angle == 0.0f || std::isnan(angle)) {
        const float px = x - ox * scaleX;
        const float py = y - oy * scaleY;
        const float qx = px + w * scaleX;
        const float qy = py + h * scaleY;
        v[0].x = px;
        v[0].y = py;
        v[1].x = qx;
        v[1].y = py;
        v[2].x = qx;
        v[2].y = qy;
        v[3].x = px;
        v[3].y = qy;
    } else {
        const float c = std::cos(angle);
        const float sn = std::sin(angle);
        const float ax = -ox * scaleX;
        const float bx = (w - ox) * scaleX;
        const float ay = -oy * scaleY;
        const float by = (h - oy) * scaleY;
        const float dx[4] = {ax, bx, bx, ax};
        const float dy[4] = {ay, ay, by, by};
        for (int i = 0; i < 4; ++i) {
            v[i].x = x + c * dx[i] - sn * dy[i];
            v[i].y = y + sn * dx[i] + c * dy[i];
        }
    }
    v[0].color = c0;
    v[1].color = c1;
    v[2].color = c2;
    v[3].color = c3;
    for (int i = 0; i < 4; ++i) v[i].z = z;
    SendSpriteQuad(s);
}

bool Texture::SaveTextureExData(File& file) {
    const u32 header[3] = {u32(m_Sprites.size()), m_Width, m_Height};
    bool ok = file.Write32(&header[0], 1) == 1 && file.Write32(&header[1], 1) == 1 &&
              file.Write32(&header[2], 1) == 1;
    for (size_t i = 0; ok && i < m_Sprites.size(); ++i) {
        SpriteDef& s = m_Sprites[i];
        ok = file.Write16(&s.width, 4) == 4 && file.Write32(&s.uLeft, 4) == 4;
    }
    if (!ok) return false;
    LogSend(kLogInfo, "Texture::SaveTextureExData -> Saved %d sprites", int(m_Sprites.size()));
    return true;
}

bool Texture::LoadTextureExData(File& file, int offsetX, int offsetY) {
    u32 count = 0;
    u32 savedW = 0;
    u32 savedH = 0;
    if (file.Read32(&count, 1) != 1) return false;
    if (file.Read32(&savedW, 1) != 1 || file.Read32(&savedH, 1) != 1) return false;
    if (count <= 1) {
        LogSend(kLogWarning, "Texture::LoadTextureExData(%s) -> No sprites in file...", m_Name.c_str());
        return false;
    }
    // The count comes from outside: the stream must hold every record before
    // the table grows by a single entry.
    if ((unsigned long long)count * kSpriteRecordBytes > BytesLeft(file)) {
        LogSend(kLogWarning, "Texture::LoadTextureExData(%s) -> Sprite count %u exceeds the file",
                m_Name.c_str(), count);
        return false;
    }
    file.Seek(int(kSpriteRecordBytes), 1);

    const bool sameSize = savedW == m_Width && savedH == m_Height;
    // Without a size of our own there is nothing to map onto: keep the fractions.
    const bool remap = m_Width && m_Height && (!sameSize || offsetX || offsetY);
    if (!sameSize)
        LogSend(
            kLogWarning,
            "Texture::LoadTextureExData(%s) -> Texture size does not match (sprites are rescaled -> please "
            "resave ex_data to avoid warnings)",
            m_Name.c_str());
    const float W = float(savedW);
    const float H = float(savedH);
    const float w = float(m_Width);
    const float h = float(m_Height);
    m_Sprites.reserve(m_Sprites.size() + count - 1);
    for (u32 i = 1; i < count; ++i) {
        SpriteDef s;
        if (file.Read16(&s.width, 4) != 4 || file.Read32(&s.uLeft, 4) != 4) return false;
        if (remap) {
            s.uLeft = (W * s.uLeft + float(offsetX)) / w;
            s.uRight = (W * s.uRight + float(offsetX)) / w;
            s.vTop = (H * s.vTop + float(offsetY)) / h;
            s.vBottom = (H * s.vBottom + float(offsetY)) / h;
        }
        m_Sprites.push_back(s);
    }
    return true;
}

bool Texture::SaveTexture(File& file) {
    if (m_Handle.IsOk()) return Graphics::SaveTextureToTGA(m_Handle, file);
    LogSend(kLogWarning, "Texture::SaveTexture() -> The texture is not initialized!!!");
    return false;
}

std::string Texture::ExDataExtension() const {
    const size_t dot = m_Name.rfind('.');
    return (dot == std::string::npos ? std::string(".tga") : m_Name.substr(dot)) + "_ex";
}

unsigned Texture::GetExportFormats() { return 3; }

void Texture::GetExportFormatDesc(unsigned index, std::string* description, std::string* extension) {
    const char* desc = nullptr;
    std::string ext;
    switch (index) {
        case 0:
            desc = "Save texture image as TGA";
            ext = ".tga";
            break;
        case 1:
            desc = "Export Texture ExInfo (Sprites)";
            ext = ExDataExtension();
            break;
        case 2:
            desc = "Export Sprites to Text File";
            ext = ".txt";
            break;
        default:
            return;
    }
    if (description) *description = desc;
    if (extension) *extension = ext;
}

bool Texture::Export(unsigned index, File& file) {
    switch (index) {
        case 0:
            return SaveTexture(file);
        case 1:
            return SaveTextureExData(file);
        case 2:
            return ExportSpriteText(file);
        default:
            return false;
    }
}

unsigned Texture::GetImportFormats() { return 2; }

void Texture::GetImportFormatDesc(unsigned index, std::string* description, std::string* extension) {
    const char* desc = nullptr;
    std::string ext;
    switch (index) {
        case 0:
            desc = "Import Texture ExInfo (Sprites)";
            ext = ExDataExtension();
            break;
        case 1:
            desc = "Import Sprites from Text File";
            ext = ".txt";
            break;
        default:
            return;
    }
    if (description) *description = desc;
    if (extension) *extension = ext;
}

bool Texture::Import(unsigned index, File& file) {
    switch (index) {
        case 0:
            return LoadTextureExData(file, 0, 0);
        case 1:
            return ImportSpriteText(file);
        default:
            return false;
    }
}

bool Texture::ExportSpriteText(File& file) {
    bool ok = file.printf("# ZYN Texture Sprites Export (%s)\r\n", m_Name.c_str());
    ok = ok && file.printf("# TEXTURE tag help: <TEXTURE=width,height,number_of_sprites>\r\n");
    ok = ok && file.printf("# SPRITE tag help: <SPRITE=x,y,width,height,x_origin,y_origin>\r\n\r\n");
    ok = ok && file.printf("<TEXTURE=%d,%d,%d>\r\n", int(m_Width), int(m_Height), int(m_Sprites.size()));
    const float w = float(m_Width);
    const float h = float(m_Height);
    for (size_t i = 0; ok && i < m_Sprites.size(); ++i) {
        const SpriteDef& s = m_Sprites[i];
        ok = file.printf("\t<SPRITE=%d,%d,%d,%d,%d,%d>\r\n", TruncToInt(w * s.uLeft), TruncToInt(h * s.vTop),
                         int(s.width), int(s.height), int(s.xOrigin), int(s.yOrigin));
    }
    return ok && file.printf("</TEXTURE>\r\n");
}

bool Texture::ImportSpriteText(File& file) {
    const unsigned size = file.GetFileSize();
    const char* const kFailed = "Failed parsing texture sprite text file...";
    if (size > kMaxSpriteTextBytes) {
        LogSend(kLogWarning, "%s", kFailed);
        return false;
    }
    std::vector<char> text(size_t(size) + 1, '\0');
    file.Seek(0, 0);
    const unsigned got = file.Read(text.data(), size);
    text[got] = '\0';
    char* cursor = text.data();
    const char* end = text.data() + got;

    auto skip = [&cursor]() {
        const char* c = cursor;
        const bool more = SkipWhiteSpaceAndComments(&c);
        cursor = const_cast<char*>(c);
        return more;
    };
    auto fail = [this, kFailed]() {
        LogSend(kLogWarning, "%s", kFailed);
        // Sprite 0 must exist whatever the text held.
        if (m_Sprites.empty()) ResetSprites();
        return false;
    };

    if (!skip() || std::strncmp(cursor, "<TEXTURE=", 9) != 0) return fail();
    cursor += 9;
    const int width = GetInteger(&cursor, ',');
    const int height = GetInteger(&cursor, ',');
    const int count = GetInteger(&cursor, '>');
    if (width < 1 || height < 1 || count < 1) return fail();
    // The count comes from outside: the text must be able to hold that many
    // sprite lines before anything is reserved for them.
    if ((unsigned long long)count * kMinSpriteTextBytes > (unsigned long long)(end - cursor)) return fail();
    if (unsigned(width) != m_Width || unsigned(height) != m_Height)
        LogSend(kLogInfo, "Texture::Import -> Texture of defferent size, sprites might not match...");
    m_Sprites.clear();
    m_Sprites.reserve(size_t(count));
    for (int i = 0; i < count; ++i) {
        if (!skip() || std::strncmp(cursor, "<SPRITE=", 8) != 0) return fail();
        cursor += 8;
        const int x = GetInteger(&cursor, ',');
        const int y = GetInteger(&cursor, ',');
        const int w = GetInteger(&cursor, ',');
        const int h = GetInteger(&cursor, ',');
        const int xo = GetInteger(&cursor, ',');
        const int yo = GetInteger(&cursor, '>');
        RegisterSprite(x, y, ClampToInt((long long)x + w), ClampToInt((long long)y + h), short(xo),
                       short(yo));
    }
    return true;
}

}  // namespace Zyn
