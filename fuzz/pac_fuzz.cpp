// Pack files: the directory and every member, read through the streaming
// package and the in-memory package over the same file. Both must list the
// same members and serve the same bytes.
#include <cstdio>
#include <cstring>
#include <memory>

#include <zyn/core/Root.h>
#include <zyn/io/PacMemPackage.h>
#include <zyn/io/PacPackage.h>

#include "FuzzSupport.h"

namespace {

std::string g_PackPath;

// Every byte of the member, read in uneven pieces, then the last few bytes
// again after a seek from the end.
ZynFuzz::Bytes ReadAll(Zyn::File& f) {
    ZynFuzz::Bytes out;
    unsigned char buffer[97];
    unsigned int piece = 1;
    for (;;) {
        const unsigned int got = f.Read(buffer, piece);
        if (got == 0) break;
        out.insert(out.end(), buffer, buffer + got);
        piece = piece * 3 % unsigned(sizeof buffer) + 1;
    }
    ZYN_FUZZ_CHECK(f.IsEnd());
    f.Seek(-3, 2);
    unsigned char tail[3];
    const unsigned int got = f.Read(tail, sizeof tail);
    ZYN_FUZZ_CHECK(out.size() < 3 || (got == 3 && std::memcmp(tail, out.data() + out.size() - 3, 3) == 0));
    f.Seek(0, 0);
    char line[40];
    while (!f.IsEnd()) {
        const unsigned before = f.Seek(0, 1);
        f.ReadLine(line, sizeof line);
        if (f.Seek(0, 1) == before) break;
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    ZynFuzz::Init();
    g_PackPath = ZynFuzz::TempDir() + "/input.pac";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FILE* f = std::fopen(g_PackPath.c_str(), "wb");
    ZYN_FUZZ_CHECK(f);
    ZYN_FUZZ_CHECK(size == 0 || std::fwrite(data, 1, size, f) == size);
    std::fclose(f);

    Zyn::Ref<Zyn::PacPackage> disk(new Zyn::PacPackage(g_PackPath.c_str()));
    Zyn::Ref<Zyn::PacMemPackage> memory(new Zyn::PacMemPackage(g_PackPath.c_str()));
    const Zyn::PacPackage::Directory& a = disk->GetDirectory();
    const Zyn::PacPackage::Directory& b = memory->GetDirectory();
    ZYN_FUZZ_CHECK(a.size() == b.size());
    for (auto ia = a.begin(), ib = b.begin(); ia != a.end(); ++ia, ++ib) {
        ZYN_FUZZ_CHECK(ia->first == ib->first && ia->second.size == ib->second.size);
        // Names are looked up as C strings: a stored NUL hides the member.
        if (ia->first.find('\0') != std::string::npos) continue;
        std::unique_ptr<Zyn::File> fa(disk->OpenFile(ia->first.c_str()));
        std::unique_ptr<Zyn::File> fb(memory->OpenFile(ib->first.c_str()));
        ZYN_FUZZ_CHECK(fa && fb);
        ZYN_FUZZ_CHECK(fa->GetFileSize() == ia->second.size && fb->GetFileSize() == ib->second.size);
        const ZynFuzz::Bytes ba = ReadAll(*fa);
        const ZynFuzz::Bytes bb = ReadAll(*fb);
        ZYN_FUZZ_CHECK(ba == bb && ba.size() == ia->second.size);
        // The pack stores every byte complemented.
        const uint64_t offset = ia->second.offset;
        for (size_t i = 0; i < ba.size(); ++i)
            ZYN_FUZZ_CHECK(ba[i] == uint8_t(~data[offset + i]));
    }
    std::unique_ptr<Zyn::File> unnamed(disk->OpenFile(""));
    ZYN_FUZZ_CHECK(!unnamed || a.count("") == 1);
    return 0;
}
