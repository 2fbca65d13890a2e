#include <zyn/io/Package.h>

namespace Zyn {

ZYN_IMPLEMENT_CLASS(Package, "Package", nullptr, nullptr, nullptr, Object)

Package::Package(const char* name) : Object(name ? name : "") {}

}  // namespace Zyn
