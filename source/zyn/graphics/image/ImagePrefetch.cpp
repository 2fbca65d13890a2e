// Images decoded on a background thread ahead of their use. Start-up spends
// most of its time creating the GL context and decoding the art; the two
// overlap when the art is named before the context is made.
#include <zyn/graphics/image/ImageDecode.h>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <utility>

#ifdef __GLIBC__
#include <malloc.h>
#endif

#include <zyn/core/Log.h>
#include <zyn/graphics/internal/ImageDecodeImpl.h>

namespace Zyn {

namespace {

// Large enough for any texture a GL implementation takes; the taker's own
// limit is applied when it takes the pixels.
const unsigned kPrefetchMaxDimension = 16384;

// Constant-initialised, so they outlive the prefetcher, whose destructor
// waits for a worker that may still end its batch.
std::mutex g_BlocksMutex;
int g_BlocksCount = 0;

// A cold process maps every large buffer of a decode fresh and faults its
// pages in, which costs more than the decode on some machines: while
// images are decoded ahead, large blocks come from the heap and freed ones
// stay there to be used again. Afterwards they still come from the heap,
// as the allocator's own adaptive threshold would have them (setting one
// turns the adaptation off), and the decode's memory is returned.
class KeepLargeBlocks {
public:
    static void Begin() {
        std::lock_guard<std::mutex> lock(g_BlocksMutex);
        if (g_BlocksCount++ > 0) return;
#ifdef __GLIBC__
        // 32 MiB is the most the allocator takes on 64-bit systems.
        mallopt(M_MMAP_THRESHOLD, 32 << 20);
        mallopt(M_TRIM_THRESHOLD, 256 << 20);
#endif
    }
    static void End() {
        std::lock_guard<std::mutex> lock(g_BlocksMutex);
        if (--g_BlocksCount > 0) return;
#ifdef __GLIBC__
        mallopt(M_MMAP_THRESHOLD, 32 << 20);
        mallopt(M_TRIM_THRESHOLD, 64 << 20);
        malloc_trim(0);
#endif
    }
};

// ---------------------------------------------------------------------------
// The decoded-image cache: one file per image, named after its encoded bytes.

const char kCacheMagic[8] = {'Z', 'Y', 'N', 'P', 'I', 'X', '1', '\0'};
const size_t kCacheHeaderSize = 32;
const char kCacheSuffix[] = ".pix";

// Set by the program before it prefetches; each batch takes a copy.
std::mutex g_CacheMutex;
std::string g_CacheFolder;
// The latest batch's number: only it prunes the cache, so that an earlier
// batch that ends late cannot remove the entries a newer one reads.
std::atomic<unsigned> g_LatestBatch{0};

uint64_t Hash64(const unsigned char* data, size_t size) {
    uint64_t h = 0x243F6A8885A308D3ull ^ uint64_t(size);
    size_t i = 0;
    for (; i + 8 <= size; i += 8) {
        uint64_t word;
        std::memcpy(&word, data + i, 8);
        h = (h ^ word) * 0x9E3779B97F4A7C15ull;
        h ^= h >> 32;
    }
    uint64_t tail = 0;
    std::memcpy(&tail, data + i, size - i);
    h = (h ^ tail) * 0x9E3779B97F4A7C15ull;
    return h ^ (h >> 29);
}

void PutU32(std::string& out, size_t at, uint32_t v) { std::memcpy(&out[at], &v, 4); }
uint32_t GetU32(const unsigned char* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

// The pixels of an intact entry (malloc'd), or null.
unsigned char* ReadCacheEntry(const std::string& path, unsigned* width, unsigned* height, int* channels) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return nullptr;
    unsigned char header[kCacheHeaderSize];
    unsigned char* pixels = nullptr;
    if (std::fread(header, 1, sizeof header, f) == sizeof header &&
        std::memcmp(header, kCacheMagic, sizeof kCacheMagic) == 0) {
        const uint32_t w = GetU32(header + 8), h = GetU32(header + 12), c = GetU32(header + 16);
        uint64_t hash;
        std::memcpy(&hash, header + 24, 8);
        struct stat st;
        if (w >= 1 && h >= 1 && w <= kPrefetchMaxDimension && h <= kPrefetchMaxDimension && c >= 1 && c <= 4 &&
            fstat(fileno(f), &st) == 0) {
            const size_t bytes = size_t(w) * size_t(h) * size_t(c);
            if (uint64_t(st.st_size) == kCacheHeaderSize + bytes) {
                pixels = static_cast<unsigned char*>(std::malloc(bytes));
                if (pixels && (std::fread(pixels, 1, bytes, f) != bytes || Hash64(pixels, bytes) != hash)) {
                    std::free(pixels);
                    pixels = nullptr;
                }
                if (pixels) {
                    *width = w;
                    *height = h;
                    *channels = int(c);
                }
            }
        }
    }
    std::fclose(f);
    return pixels;
}

// Creates the folder and its parents (owner only).
bool MakeFolders(const std::string& folder) {
    for (size_t i = 1; i <= folder.size(); ++i) {
        if (i < folder.size() && folder[i] != '/') continue;
        const std::string part = folder.substr(0, i);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
    }
    return true;
}

// Written whole under a temporary name and renamed, so that a reader never
// sees half an entry and two writers never mix theirs.
void WriteCacheEntry(const std::string& folder, const std::string& name, const unsigned char* pixels,
                     unsigned width, unsigned height, int channels) {
    if (!MakeFolders(folder)) return;
    const std::string header = ImageDecodeImpl::CacheEntryHeader(pixels, width, height, channels);
    const size_t bytes = size_t(width) * size_t(height) * size_t(channels);
    const std::string temp = folder + "/." + name + "." + std::to_string(getpid()) + "-" +
                             std::to_string(std::hash<std::thread::id>()(std::this_thread::get_id())) + ".tmp";
    FILE* f = std::fopen(temp.c_str(), "wb");
    if (!f) return;
    const bool written =
        std::fwrite(header.data(), 1, header.size(), f) == header.size() && std::fwrite(pixels, 1, bytes, f) == bytes;
    if (std::fclose(f) != 0 || !written || std::rename(temp.c_str(), (folder + "/" + name).c_str()) != 0)
        std::remove(temp.c_str());
}

// Removes the entries not named in `keep`.
void PruneCache(const std::string& folder, const std::set<std::string>& keep) {
    DIR* dir = opendir(folder.c_str());
    if (!dir) return;
    const size_t suffix = sizeof kCacheSuffix - 1;
    while (const dirent* e = readdir(dir)) {
        const std::string name = e->d_name;
        if (name.size() <= suffix || name[0] == '.' || name.compare(name.size() - suffix, suffix, kCacheSuffix) != 0)
            continue;
        if (!keep.count(name)) std::remove((folder + "/" + name).c_str());
    }
    closedir(dir);
}

struct Prefetched {
    EncodedImage image;
    bool done = false;
    bool taken = false;
    unsigned char* pixels = nullptr;
    unsigned width = 0;
    unsigned height = 0;
    int channels = 0;
};

class Prefetcher {
public:
    ~Prefetcher() {
        for (std::thread& t : m_Workers)
            if (t.joinable()) t.join();
        for (Prefetched& p : m_Images) std::free(p.pixels);
    }

    void Start(std::vector<EncodedImage> images) {
        std::vector<Prefetched*> batch;
        {
            std::lock_guard<std::mutex> lock(m_Mutex);
            for (EncodedImage& image : images) {
                if (image.bytes.empty()) continue;
                m_Images.emplace_back();
                m_Images.back().image = std::move(image);
                batch.push_back(&m_Images.back());
            }
        }
        if (batch.empty()) return;
        std::string cache;
        {
            std::lock_guard<std::mutex> lock(g_CacheMutex);
            cache = g_CacheFolder;
        }
        KeepLargeBlocks::Begin();
        const unsigned number = ++g_LatestBatch;
        m_Workers.emplace_back([this, batch, cache, number] {
            // A failure is decoded again, and reported, by whoever asks for the image.
            ScopedQuietLog quiet;
            std::set<std::string> used;
            for (Prefetched* p : batch) {
                unsigned w = 0, h = 0;
                int c = 0;
                const EncodedImage& image = p->image;
                unsigned char* pixels = nullptr;
                std::string entry;
                if (!cache.empty()) {
                    entry = ImageDecodeImpl::CacheEntryName(image.bytes.data(), image.bytes.size(), image.forceRGBA);
                    used.insert(entry);
                    pixels = ReadCacheEntry(cache + "/" + entry, &w, &h, &c);
                }
                if (!pixels) {
                    pixels = ImageDecodeImpl::DecodeNow(image.bytes.data(), image.bytes.size(), &w, &h, &c,
                                                        image.forceRGBA, kPrefetchMaxDimension);
                    if (pixels && !entry.empty()) WriteCacheEntry(cache, entry, pixels, w, h, c);
                }
                std::lock_guard<std::mutex> lock(m_Mutex);
                p->pixels = pixels;
                p->width = w;
                p->height = h;
                p->channels = c;
                p->done = true;
                m_Done.notify_all();
            }
            if (!cache.empty() && g_LatestBatch == number) PruneCache(cache, used);
            KeepLargeBlocks::End();
        });
    }

    unsigned char* Take(const unsigned char* data, size_t size, unsigned* width, unsigned* height, int* channels,
                        bool forceRGBA, unsigned maxDimension) {
        std::unique_lock<std::mutex> lock(m_Mutex);
        auto it = m_Images.begin();
        for (; it != m_Images.end(); ++it) {
            const EncodedImage& image = it->image;
            if (!it->taken && image.forceRGBA == forceRGBA && image.bytes.size() == size &&
                std::memcmp(image.bytes.data(), data, size) == 0)
                break;
        }
        if (it == m_Images.end()) return nullptr;
        it->taken = true;
        m_Done.wait(lock, [&] { return it->done; });
        unsigned char* pixels = it->pixels;
        if (pixels && (it->width > maxDimension || it->height > maxDimension)) {
            std::free(pixels);
            pixels = nullptr;
        }
        if (pixels) {
            *width = it->width;
            *height = it->height;
            *channels = it->channels;
        }
        m_Images.erase(it);
        return pixels;
    }

private:
    std::mutex m_Mutex;
    std::condition_variable m_Done;
    std::list<Prefetched> m_Images;  // stable addresses for the workers
    std::vector<std::thread> m_Workers;
};

// Made on first use, so that a program that never prefetches pays nothing.
std::unique_ptr<Prefetcher>& Instance() {
    static std::unique_ptr<Prefetcher> instance;
    return instance;
}
std::mutex g_InstanceMutex;

Prefetcher* Existing() {
    std::lock_guard<std::mutex> lock(g_InstanceMutex);
    return Instance().get();
}

}  // namespace

void SetDecodedImageCache(const std::string& folder) {
    std::lock_guard<std::mutex> lock(g_CacheMutex);
    g_CacheFolder = folder;
    while (g_CacheFolder.size() > 1 && g_CacheFolder.back() == '/') g_CacheFolder.pop_back();
}

void PrefetchImages(std::vector<EncodedImage> images) {
    Prefetcher* prefetcher;
    {
        std::lock_guard<std::mutex> lock(g_InstanceMutex);
        if (!Instance()) Instance().reset(new Prefetcher);
        prefetcher = Instance().get();
    }
    prefetcher->Start(std::move(images));
}

namespace ImageDecodeImpl {

std::string CacheEntryName(const unsigned char* data, size_t size, bool forceRGBA) {
    char name[64];
    std::snprintf(name, sizeof name, "%016llx-%zu-%d%s", static_cast<unsigned long long>(Hash64(data, size)), size,
                  forceRGBA ? 1 : 0, kCacheSuffix);
    return name;
}

std::string CacheEntryHeader(const unsigned char* pixels, unsigned width, unsigned height, int channels) {
    std::string out(kCacheHeaderSize, '\0');
    std::memcpy(&out[0], kCacheMagic, sizeof kCacheMagic);
    PutU32(out, 8, width);
    PutU32(out, 12, height);
    PutU32(out, 16, uint32_t(channels));
    const uint64_t hash = Hash64(pixels, size_t(width) * size_t(height) * size_t(channels));
    std::memcpy(&out[24], &hash, 8);
    return out;
}

unsigned char* TakePrefetched(const unsigned char* data, size_t size, unsigned* width, unsigned* height,
                              int* channels, bool forceRGBA, unsigned maxDimension) {
    Prefetcher* prefetcher = Existing();
    return prefetcher ? prefetcher->Take(data, size, width, height, channels, forceRGBA, maxDimension) : nullptr;
}

}  // namespace ImageDecodeImpl

}  // namespace Zyn
