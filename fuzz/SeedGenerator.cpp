// zyn-fuzz-seeds: writes the seed corpora of the harnesses from the
// project's own writers: members of the pack zyn-assetgen made, the
// compiled-in debug font, images encoded by the codecs the decoders read,
// object streams, sprite and font exports, plus small hand-made cases.
// Usage: zyn-fuzz-seeds PACK CORPUS_DIR (one folder per harness below it).
// The output is the same on every run; it runs in a scratch folder of its
// own because the font export writes glyph images below the working folder.
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <zyn/app/App.h>
#include <zyn/app/Transition.h>
#include <zyn/core/BasicSerializator.h>
#include <zyn/core/Root.h>
#include <zyn/graphics/Font.h>
#include <zyn/graphics/FontManager.h>
#include <zyn/graphics/Graphics.h>
#include <zyn/graphics/Image.h>
#include <zyn/graphics/Texture.h>
#include <zyn/io/MemoryFile.h>
#include <zyn/io/PacMemPackage.h>
#include <zyn/io/PacPackage.h>
#include <zyn/io/VectorFile.h>
#include <zyn/platform/GLSurface.h>
#include <zyn/platform/OffscreenSurface.h>
#include <zyn/graphics/image/ImageDecode.h>
#include <screensaver/OrvSettings.h>

// After the C headers it needs and does not include itself.
#include <jpeglib.h>
#include <png.h>

namespace {

typedef std::vector<unsigned char> Bytes;

std::string g_Out;
int g_Failures = 0;

void Fail(const std::string& what) {
    std::fprintf(stderr, "zyn-fuzz-seeds: %s\n", what.c_str());
    ++g_Failures;
}

Bytes Join(std::initializer_list<Bytes> parts) {
    static const char kSeparator[] = "ZYN|";
    Bytes out;
    bool first = true;
    for (const Bytes& p : parts) {
        if (!first) out.insert(out.end(), kSeparator, kSeparator + 4);
        first = false;
        out.insert(out.end(), p.begin(), p.end());
    }
    return out;
}

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

Bytes Prefixed(unsigned char first, const Bytes& rest) {
    Bytes out(1, first);
    out.insert(out.end(), rest.begin(), rest.end());
    return out;
}

void Write(const std::string& harness, const std::string& name, const Bytes& bytes) {
    const std::string dir = g_Out + "/" + harness;
    mkdir(dir.c_str(), 0755);
    const std::string path = dir + "/" + name;
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f || (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size())) {
        Fail("cannot write " + path);
    }
    if (f) std::fclose(f);
}

Bytes ReadMember(Zyn::Package& package, const char* name) {
    std::unique_ptr<Zyn::File> f(package.OpenFile(name));
    if (!f) {
        Fail(std::string("no member ") + name);
        return Bytes();
    }
    Bytes out(f->GetFileSize());
    if (!out.empty() && f->Read(out.data(), unsigned(out.size())) != out.size()) Fail(name);
    return out;
}

Bytes Compiled(const char* name) {
    Zyn::CppPackage package("cppfontfile");
    return ReadMember(package, name);
}

// A deterministic pattern with a soft alpha ramp.
Bytes Pattern(unsigned w, unsigned h, int channels) {
    Bytes p(size_t(w) * h * size_t(channels));
    for (unsigned y = 0; y < h; ++y)
        for (unsigned x = 0; x < w; ++x)
            for (int c = 0; c < channels; ++c)
                p[(size_t(y) * w + x) * size_t(channels) + size_t(c)] =
                    (c == 3 || (channels == 2 && c == 1)) ? uint8_t(255 - 16 * x) : uint8_t(x * 29 + y * 53 + c * 71);
    return p;
}

Bytes EncodePNG(const Bytes& pixels, unsigned w, unsigned h, int colourType, int channels, bool interlaced) {
    Bytes out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        Fail("png encoding");
        return Bytes();
    }
    png_set_write_fn(
        png, &out,
        [](png_structp p, png_bytep data, png_size_t n) {
            Bytes* o = static_cast<Bytes*>(png_get_io_ptr(p));
            o->insert(o->end(), data, data + n);
        },
        nullptr);
    png_set_IHDR(png, info, w, h, 8, colourType, interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    std::vector<png_bytep> rows(h);
    for (unsigned y = 0; y < h; ++y) rows[y] = const_cast<png_bytep>(pixels.data() + size_t(y) * w * size_t(channels));
    png_write_image(png, rows.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

Bytes EncodeJPEG(const Bytes& pixels, unsigned w, unsigned h, int channels, bool progressive) {
    jpeg_compress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = w;
    cinfo.image_height = h;
    cinfo.input_components = channels;
    cinfo.in_color_space = channels == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 80, TRUE);
    if (progressive) jpeg_simple_progression(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < h) {
        JSAMPROW row = const_cast<JSAMPROW>(pixels.data() + size_t(cinfo.next_scanline) * w * size_t(channels));
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    Bytes out(buffer, buffer + size);
    std::free(buffer);
    return out;
}

Bytes EncodeJP2(const Bytes& pixels, unsigned w, unsigned h, int channels, float ratio) {
    Bytes out;
    if (!Zyn::EncodeJP2(pixels.data(), w, h, channels, ratio, out)) Fail("jp2 encoding");
    return out;
}

// The payload of the "jp2c" box: the raw codestream.
Bytes Codestream(const Bytes& jp2) {
    size_t at = 0;
    while (at + 8 <= jp2.size()) {
        const size_t length = size_t(jp2[at]) << 24 | size_t(jp2[at + 1]) << 16 | size_t(jp2[at + 2]) << 8 | jp2[at + 3];
        if (std::memcmp(&jp2[at + 4], "jp2c", 4) == 0) {
            const size_t end = length == 0 ? jp2.size() : at + length;
            return Bytes(jp2.begin() + long(at + 8), jp2.begin() + long(std::min(end, jp2.size())));
        }
        if (length < 8) break;
        at += length;
    }
    Fail("no codestream");
    return Bytes();
}

// An uncompressed TGA by hand: type 2 (colour, 24 or 32 bits) or 3 (grey).
Bytes HandTGA(unsigned w, unsigned h, int bits, bool topOrigin) {
    Bytes b(18, 0);
    b[2] = bits == 8 ? 3 : 2;
    b[12] = uint8_t(w);
    b[13] = uint8_t(w >> 8);
    b[14] = uint8_t(h);
    b[15] = uint8_t(h >> 8);
    b[16] = uint8_t(bits);
    b[17] = uint8_t((topOrigin ? 0x20 : 0) | (bits == 32 ? 8 : 0));
    for (unsigned i = 0; i < w * h * unsigned(bits / 8); ++i) b.push_back(uint8_t(i * 37 + 11));
    return b;
}

Bytes ImageTGA(unsigned w, unsigned h) {
    Zyn::Image image(w, h);
    for (size_t i = 0; i < size_t(w) * h * 4; ++i) image.data[i] = uint8_t(i * 13);
    Zyn::VectorFile f;
    if (!image.SaveToTGA(f)) Fail("tga");
    return f.GetVector();
}

Bytes Stream(Zyn::Object* obj) {
    Zyn::VectorFile f;
    Zyn::BasicSerializator s(&f);
    if (!s.SaveHierarchy(obj)) Fail("stream of " + obj->GetName());
    return f.GetVector();
}

void ImageSeeds() {
    const Bytes rgba = Pattern(8, 6, 4), rgb = Pattern(8, 6, 3), grey = Pattern(8, 6, 1), ga = Pattern(8, 6, 2);
    const Bytes jp2Rgba = EncodeJP2(rgba, 8, 6, 4, 0), jp2Grey = EncodeJP2(grey, 8, 6, 1, 0);
    const Bytes jp2Lossy = EncodeJP2(Pattern(16, 16, 3), 16, 16, 3, 8.0f);
    Write("image_jp2", "rgba", Prefixed(0, jp2Rgba));
    Write("image_jp2", "grey_forced", Prefixed(1, jp2Grey));
    Write("image_jp2", "lossy_small_cap", Prefixed(4, jp2Lossy));
    Write("image_j2k", "rgba", Prefixed(0, Codestream(jp2Rgba)));
    Write("image_j2k", "lossy_forced", Prefixed(1, Codestream(jp2Lossy)));
    const Bytes greyStream = Codestream(jp2Grey);
    Write("image_j2k", "grey_signature_added", Prefixed(2, Bytes(greyStream.begin() + 4, greyStream.end())));

    Write("image_png", "rgba", Prefixed(0, EncodePNG(rgba, 8, 6, PNG_COLOR_TYPE_RGBA, 4, false)));
    Write("image_png", "rgb_interlaced", Prefixed(1, EncodePNG(rgb, 8, 6, PNG_COLOR_TYPE_RGB, 3, true)));
    Write("image_png", "grey", Prefixed(0, EncodePNG(grey, 8, 6, PNG_COLOR_TYPE_GRAY, 1, false)));
    Write("image_png", "grey_alpha_forced", Prefixed(1, EncodePNG(ga, 8, 6, PNG_COLOR_TYPE_GRAY_ALPHA, 2, false)));

    Write("image_jpeg", "rgb", Prefixed(0, EncodeJPEG(rgb, 8, 6, 3, false)));
    Write("image_jpeg", "grey_forced", Prefixed(1, EncodeJPEG(grey, 8, 6, 1, false)));
    Write("image_jpeg", "progressive", Prefixed(0, EncodeJPEG(Pattern(16, 16, 3), 16, 16, 3, true)));

    Write("image_tga", "rgba_top", Prefixed(0, HandTGA(5, 3, 32, true)));
    Write("image_tga", "rgb_bottom", Prefixed(1, HandTGA(5, 3, 24, false)));
    Write("image_tga", "grey", Prefixed(0, HandTGA(4, 4, 8, true)));
    Write("image_tga", "image_writer", Prefixed(0, ImageTGA(3, 2)));

    Write("tga_image", "top", ImageTGA(4, 3));
    Write("tga_image", "bottom", HandTGA(3, 2, 32, false));

    const Bytes alphaGrey = EncodePNG(grey, 8, 6, PNG_COLOR_TYPE_GRAY, 1, false);
    Write("alpha_merge", "jp2", Prefixed(0, Join({jp2Rgba, EncodeJP2(grey, 8, 6, 1, 0)})));
    Write("alpha_merge", "png_mipmaps", Prefixed(1, Join({EncodePNG(rgb, 8, 6, PNG_COLOR_TYPE_RGB, 3, false), alphaGrey})));
    Write("alpha_merge", "jpeg_tga", Prefixed(0, Join({EncodeJPEG(rgb, 8, 6, 3, false), HandTGA(8, 6, 32, true)})));
}

void PackSeeds(Zyn::PacMemPackage& pack) {
    // A small pack made by the pack writer from a few small members.
    const char* const members[] = {"fx\\ss_glyphs_1.zyn", "gui\\gui_tex.jp2_ex", "misc\\trophies.jp2_ex"};
    std::vector<Zyn::PacPackage::Source> sources;
    for (const char* m : members) {
        const std::string path = std::string("member") + std::to_string(sources.size());
        const Bytes bytes = ReadMember(pack, m);
        FILE* f = std::fopen(path.c_str(), "wb");
        if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) Fail(path);
        if (f) std::fclose(f);
        sources.push_back({m, path});
    }
    if (!Zyn::PacPackage::CreatePacPackage(sources, "small.pac")) Fail("pack writer");
    FILE* f = std::fopen("small.pac", "rb");
    Bytes small;
    if (f) {
        unsigned char buffer[4096];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) small.insert(small.end(), buffer, buffer + n);
        std::fclose(f);
    }
    Write("pac", "three_members", small);
    // By hand, stored complemented: one empty member "a" right after the
    // directory, and a pack without entries.
    Bytes empty{1, 0, 0, 0, 1, 0, 'a', 15, 0, 0, 0, 0, 0, 0, 0};
    Zyn::ComplementBytes(empty.data(), empty.size());
    Write("pac", "empty_member", empty);
    Bytes none{0, 0, 0, 0};
    Zyn::ComplementBytes(none.data(), none.size());
    Write("pac", "no_entries", none);
}

void StreamSeeds(Zyn::PacMemPackage& pack) {
    const char* const effects[] = {"fx\\charged_path.zyn", "fx\\scarab_crush.zyn", "fx\\sel_7.zyn", "fx\\ss_glyphs_1.zyn",
                                   "fx\\ss_glyphs_2.zyn", "fx\\ss_glyphs_3.zyn", "fx\\stats_trophy.zyn"};
    for (const char* e : effects) Write("object_stream", std::string(e + 3), ReadMember(pack, e));

    Zyn::Ref<OrvSettings> settings(new OrvSettings("settings"));
    settings->m_bTrophyVariant = true;
    const Bytes settingsStream = Stream(settings.Get());
    Write("object_stream", "orv_settings", settingsStream);

    Zyn::Ref<Zyn::App> app(new Zyn::App("player"));
    app->InsertObject(new Zyn::FadeTransition("fade"), 0, 1, nullptr);
    const Bytes profile = Stream(app.Get());
    Write("object_stream", "app_with_transition", profile);

    Zyn::VectorFile general;
    general.WriteString("player");
    Write("save_dir", "settings_profile_general", Join({settingsStream, profile, general.GetVector()}));
    Write("save_dir", "two_profiles", Join({settingsStream, profile, general.GetVector(), Stream(settings.Get())}));
    Write("save_dir", "settings_only", settingsStream);
}

void SpriteSeeds(Zyn::PacMemPackage& pack, bool graphics) {
    const Bytes gui = ReadMember(pack, "gui\\gui_tex.jp2_ex");
    Write("sprite_exdata", "gui_sized", Prefixed(1, Prefixed(0, Prefixed(0, gui))));
    Write("sprite_exdata", "trophies_offset", Prefixed(3, Prefixed(5, Prefixed(0xFD, ReadMember(pack, "misc\\trophies.jp2_ex")))));
    Write("sprite_exdata", "debugfont_scaled", Prefixed(7, Prefixed(1, Prefixed(2, Compiled("debugfont.tga_ex")))));

    Write("texture_load", "tga_with_sides", Prefixed(0, Join({ImageTGA(4, 4), HandTGA(4, 4, 8, true), Compiled("debugfont.tga_ex")})));
    Write("texture_load", "descriptor",
          Prefixed(1, Join({Text("c:color.img\r\na:alpha.img\ns:sprites.ex\n"), ImageTGA(4, 4), HandTGA(4, 4, 8, true),
                            Compiled("debugfont.tga_ex")})));

    if (graphics) {
        Zyn::Ref<Zyn::Texture> t(new Zyn::Texture("seed.tga"));
        if (t->InitEmptyTexture(96, 48, false)) {
            t->RegisterSprite(0, 0, 16, 16);
            t->RegisterSprite(16, 0, 40, 30, 3, -4);
            t->RegisterSprite(90, 40, 100, 50);
            Zyn::VectorFile text;
            if (!t->Export(2, text)) Fail("sprite text export");
            Write("sprite_text", "export_sized", Prefixed(1, text.GetVector()));
            Write("sprite_text", "export_unsized", Prefixed(0, text.GetVector()));
            Zyn::VectorFile ex;
            if (!t->Export(1, ex)) Fail("sprite file export");
            Write("sprite_exdata", "export_sized", Prefixed(1, Prefixed(0, Prefixed(0, ex.GetVector()))));
        } else {
            Fail("texture for the sprite exports");
        }
    }
    Write("sprite_text", "hand", Text("\x01# comment\r\n<TEXTURE=96,48,2>\r\n\t<SPRITE=1,2,3,4,-1,-2>\r\n\t<SPRITE=-5,0,200,7,0,0>\r\n</TEXTURE>\r\n"));
}

void FontSeeds(bool graphics) {
    const Bytes font = Compiled("debugfont.zyn_fnt");
    Write("font", "debugfont", font);
    Write("font", "hand_gui_texture",
          Bytes{2, 0, 0, 0, 0xF6, 0xFF, 0xFF, 0xFF, 12, 0, 0, 0, 15, 0, 0, 0, 'g', 'u', 'i', '\\', 'g', 'u', 'i', '_', 't', 'e',
                'x', '.', 'j', 'p', '2', 1, 0, 0, 0, 'A', 0, 0, 0, 3, 0, 1, 0, 0xF8, 0xFF, 7, 0});

    if (!graphics) return;
    // The debug font exported by the font manager, renamed to the glyph
    // images the harness provides, with one glyph image of its own.
    Zyn::Font* debug = Zyn::GetCreateFontManager()->GetResourceTyped("debugfont.zyn_fnt");
    if (!debug) {
        Fail("debug font");
        return;
    }
    Zyn::VectorFile exported;
    if (!Zyn::GetCreateFontManager()->Export(0, exported)) Fail("font export");
    std::string text(exported.GetVector().begin(), exported.GetVector().end());
    const std::string from = "<FONT=debugfont.zyn_fnt,";
    const size_t at = text.find(from);
    if (at == std::string::npos) {
        Fail("font export text");
    } else {
        text.replace(at, from.size(), "<FONT=f,");
        // Only the glyphs the harness has images for, and one without.
        std::string kept;
        size_t pos = 0;
        while (pos < text.size()) {
            const size_t end = text.find('\n', pos);
            const std::string line = text.substr(pos, end == std::string::npos ? std::string::npos : end - pos + 1);
            const bool glyph = line.find("<GLYPH=") != std::string::npos;
            if (!glyph || line.find("<GLYPH=65,") != std::string::npos || line.find("<GLYPH=66,") != std::string::npos ||
                line.find("<GLYPH=67,") != std::string::npos || line.find("<GLYPH=32,") != std::string::npos)
                kept += line;
            if (end == std::string::npos) break;
            pos = end + 1;
        }
        Write("font_import", "debugfont_export", Join({Text(kept), HandTGA(6, 8, 32, true)}));
    }
    debug->Release();
    Write("font_import", "two_blocks_spaced",
          Join({Text("<TEXTURE=a.tga,32,32>\r\n\t<FONT=f,1,0,0,0,9,4,-7>\r\n\t\t<GLYPH=65,0,-9,8>\r\n\t\t<GLYPH=66,1,-8,8>\r\n"
                     "\t</FONT>\r\n</TEXTURE>\r\n<TEXTURE=b.tga,16,8>\r\n\t<FONT=g,0,0,0,0,5,2,-4>\r\n\t\t<GLYPH=67,0,-3,4>\r\n"
                     "\t</FONT>\r\n</TEXTURE>\r\n"),
                ImageTGA(9, 9)}));
}

void TextSeeds() {
    Write("string_table", "table",
          Text("\xEF\xBB\xBF# strings\r\ntitle = \"Hello \\1, you have \\2 points\"\r\nSTR_OK=\"OK\\tnow\\n\"\n"
               "a = \"a long text\n   continued on the next line\"\nx_1 = \"\xC3\xA9t\xC3\xA9 \\9 \\\\\"\n"));
    Write("string_table", "bad_utf8", Text("title = \"caf\xE9 \xC3\x28 \xF0\x9F\x98\"\na=\"\\3\\1\""));
    Write("string_table", "unterminated", Text("title = \"never closed\n"));

    Write("logo_config", "two_screens",
          Text("# logo screens\nscreen_count = 2\nscreen_time = 2.5\nscreen_back = 10,20,30\n"
               "screen_file_1 = gui\\gui_tex.jp2\nscreen_time_1 = 1.5\nscreen_back_2 = 255,0,128\n"
               "screen_file_2 = misc\\trophies.jp2\nscreen_time_2 = 0.5\n"));
    Write("logo_config", "bad_values", Text("screen_count = 3\nscreen_time_2 = -1\nscreen_back_1 = 1,2\nscreen_file_4 = x\n"));

    const std::string list = "Texture: gui\\gui_tex.jp2\r\nFont: debugfont.zyn_fnt\nParticleEffect: fx\\sel_7.zyn\n"
                             "Object: not_a_resource\nNoSuchClass: x.tga\nab:cdefg\n";
    for (int action = 1; action <= 3; ++action) Write("res_list", "action" + std::to_string(action), Prefixed(uint8_t(action), Text(list)));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: zyn-fuzz-seeds PACK CORPUS_DIR\n");
        return 2;
    }
    char resolved[4096];
    const std::string packPath = realpath(argv[1], resolved) ? resolved : argv[1];
    mkdir(argv[2], 0755);
    g_Out = realpath(argv[2], resolved) ? resolved : argv[2];

    Zyn::Root* root = Zyn::Singleton<Zyn::Root>::Get();
    root->LogSetOutputThreshold(-1, &Zyn::StdOutLogOutput::sm_Class);
    root->m_LogLevel = Zyn::kLogError;

    // A scratch folder: the pack writer and the font export write below it.
    char scratch[] = "/tmp/zyn-fuzz-seeds-XXXXXX";
    if (!mkdtemp(scratch) || chdir(scratch) != 0) {
        std::perror("zyn-fuzz-seeds: scratch folder");
        return 1;
    }

    setenv("GALLIUM_DRIVER", "softpipe", 0);
    std::unique_ptr<Zyn::GLSurface> surface(Zyn::CreateOffscreenSurface());
    Zyn::AppSettings s;
    s.screenWidth = s.screenHeight = s.appWidth = s.appHeight = 64;
    s.windowed = true;
    const bool graphics = Zyn::Graphics::Init(surface.get(), s);
    if (!graphics) Fail("no offscreen GL context: the seeds that need one are missing");
    root->InsertObject(new Zyn::CppPackage("cppfontfile"), Zyn::Root::kPackages, 1, nullptr);

    Zyn::Ref<Zyn::PacMemPackage> pack(new Zyn::PacMemPackage(packPath.c_str()));
    if (pack->GetDirectory().empty()) {
        std::fprintf(stderr, "zyn-fuzz-seeds: %s is not a pack\n", packPath.c_str());
        return 1;
    }

    ImageSeeds();
    PackSeeds(*pack.Get());
    StreamSeeds(*pack.Get());
    SpriteSeeds(*pack.Get(), graphics);
    FontSeeds(graphics);
    TextSeeds();

    pack.Reset();
    // The resources go while their context is still there.
    root->Release();
    Zyn::Graphics::ShutDown();
    surface.reset();
    const std::string cleanup = std::string("rm -rf '") + scratch + "'";
    if (chdir("/") != 0 || std::system(cleanup.c_str()) != 0) Fail("scratch folder left behind");
    return g_Failures ? 1 : 0;
}
