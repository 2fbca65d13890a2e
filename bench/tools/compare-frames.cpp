// Compares two folders of exported frames (the PNGs a headless export
// writes, matched by name) and prints each frame's PSNR over the colour
// channels, then the worst frame. Exit status 1 when a frame is missing,
// unreadable or of another size.
//
// Usage: zyn-compare-frames OLD_DIR NEW_DIR [MIN_DB]
//   With MIN_DB, also exit 1 when the worst frame is below it.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <zyn/graphics/image/ImageDecode.h>

namespace fs = std::filesystem;

namespace {

struct Picture {
    unsigned width = 0;
    unsigned height = 0;
    std::vector<unsigned char> rgba;
};

bool Load(const fs::path& path, Picture& picture) {
    std::ifstream in(path, std::ios::binary);
    const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    int channels = 0;
    unsigned char* pixels =
        Zyn::DecodeImage(bytes.data(), bytes.size(), &picture.width, &picture.height, &channels, true, 16384);
    if (!pixels) return false;
    picture.rgba.assign(pixels, pixels + size_t(picture.width) * picture.height * 4);
    std::free(pixels);
    return true;
}

// Infinity for identical pictures.
double Psnr(const Picture& a, const Picture& b) {
    double sum = 0;
    for (size_t i = 0; i < a.rgba.size(); i += 4) {
        for (size_t c = 0; c < 3; ++c) {
            const double d = double(a.rgba[i + c]) - double(b.rgba[i + c]);
            sum += d * d;
        }
    }
    const double mse = sum / (double(a.width) * a.height * 3);
    return mse == 0 ? INFINITY : 10.0 * std::log10(255.0 * 255.0 / mse);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3 || argc > 4) {
        std::fprintf(stderr, "usage: zyn-compare-frames OLD_DIR NEW_DIR [MIN_DB]\n");
        return 2;
    }
    const fs::path oldDir = argv[1], newDir = argv[2];
    std::vector<std::string> names;
    std::error_code ec;
    for (const fs::directory_entry& e : fs::directory_iterator(oldDir, ec)) {
        const std::string name = e.path().filename().string();
        if (name.rfind("frame-", 0) == 0 && e.path().extension() == ".png") names.push_back(name);
    }
    if (ec || names.empty()) {
        std::fprintf(stderr, "zyn-compare-frames: no frame-*.png in %s\n", oldDir.c_str());
        return 1;
    }
    std::sort(names.begin(), names.end());
    double worst = INFINITY;
    std::string worstName;
    int status = 0;
    for (const std::string& name : names) {
        Picture a, b;
        if (!Load(oldDir / name, a) || !Load(newDir / name, b)) {
            std::fprintf(stderr, "zyn-compare-frames: cannot read %s in both folders\n", name.c_str());
            status = 1;
            continue;
        }
        if (a.width != b.width || a.height != b.height) {
            std::fprintf(stderr, "zyn-compare-frames: %s is %ux%u against %ux%u\n", name.c_str(), a.width,
                         a.height, b.width, b.height);
            status = 1;
            continue;
        }
        const double db = Psnr(a, b);
        std::printf("%s %.2f dB\n", name.c_str(), db);
        if (db < worst || worstName.empty()) {
            worst = db;
            worstName = name;
        }
    }
    std::printf("worst: %s %.2f dB over %zu frames\n", worstName.c_str(), worst, names.size());
    if (argc == 4 && worst < std::atof(argv[3])) status = 1;
    return status;
}
