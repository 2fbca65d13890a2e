#include <zyn/io/Package.h>

#include <zyn/io/File.h>

namespace Zyn {

ZYN_IMPLEMENT_CLASS(Package, "Package", nullptr, nullptr, nullptr, Object)
ZYN_IMPLEMENT_CLASS(CppPackage, "CppPackage", &CppPackage::StaticCreate, nullptr, nullptr, Package)

unsigned int File::Write(const void*, unsigned int) { return 0; }

Package::Package(const char* name) : Object(name) {}

CppPackage::CppPackage(const char* name) : Package(name) {}

// TODO(io): the compiled-in debug font files.
File* CppPackage::OpenFile(const char*) { return nullptr; }

}  // namespace Zyn
