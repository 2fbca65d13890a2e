#include <zyn/linux/image/ImageDecode.h>

#include <zyn/core/Log.h>

namespace Zyn {

unsigned char* DecodeImage(const unsigned char*, size_t, unsigned*, unsigned*, int*, bool, unsigned) {
    LogSend(kLogError, "ImageDecode -> decoders not built yet");
    return nullptr;
}

bool EncodeJP2(const unsigned char*, unsigned, unsigned, int, float, std::vector<unsigned char>& out) {
    out.clear();
    LogSend(kLogError, "EncodeJP2 -> encoder not built yet");
    return false;
}

}  // namespace Zyn
