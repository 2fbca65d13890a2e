#include <cstring>

#include <zyn/io/CppPackageData.h>
#include <zyn/io/MemoryFile.h>
#include <zyn/io/Package.h>

namespace Zyn {

ZYN_IMPLEMENT_CLASS(CppPackage, "CppPackage", &CppPackage::StaticCreate, nullptr, nullptr, Package)

CppPackage::CppPackage(const char* name) : Package(name) {}

File* CppPackage::OpenFile(const char* name) {
    if (!name || m_Name != "cppfontfile") return nullptr;
    for (unsigned int i = 0; i < CppPackageData::g_FileCount; ++i) {
        const CppPackageData::CompiledFile& file = CppPackageData::g_Files[i];
        // A file not generated yet is absent, so that a pack can provide it.
        if (std::strcmp(file.name, name) == 0)
            return file.size ? new MemoryFile(file.data, file.size) : nullptr;
    }
    return nullptr;
}

}  // namespace Zyn
