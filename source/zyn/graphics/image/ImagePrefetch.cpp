// Images decoded on a background thread ahead of their use. Start-up spends
// most of its time creating the GL context and decoding the art; the two
// overlap when the art is named before the context is made.
#include <zyn/graphics/image/ImageDecode.h>

#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <list>
#include <memory>
#include <mutex>
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
        KeepLargeBlocks::Begin();
        m_Workers.emplace_back([this, batch] {
            // A failure is decoded again, and reported, by whoever asks for the image.
            ScopedQuietLog quiet;
            for (Prefetched* p : batch) {
                unsigned w = 0, h = 0;
                int c = 0;
                const EncodedImage& image = p->image;
                unsigned char* pixels = ImageDecodeImpl::DecodeNow(image.bytes.data(), image.bytes.size(), &w, &h,
                                                                   &c, image.forceRGBA, kPrefetchMaxDimension);
                std::lock_guard<std::mutex> lock(m_Mutex);
                p->pixels = pixels;
                p->width = w;
                p->height = h;
                p->channels = c;
                p->done = true;
                m_Done.notify_all();
            }
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

unsigned char* TakePrefetched(const unsigned char* data, size_t size, unsigned* width, unsigned* height,
                              int* channels, bool forceRGBA, unsigned maxDimension) {
    Prefetcher* prefetcher = Existing();
    return prefetcher ? prefetcher->Take(data, size, width, height, channels, forceRGBA, maxDimension) : nullptr;
}

}  // namespace ImageDecodeImpl

}  // namespace Zyn
