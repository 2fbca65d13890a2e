// The files compiled into the library, served by CppPackage. The bytes live
// in CppPackageData.cpp, which is generated: regenerate it, do not edit it.
#pragma once

namespace Zyn {
namespace CppPackageData {

struct CompiledFile {
    const char* name;
    const unsigned char* data;
    unsigned int size;
};

extern const CompiledFile g_Files[];
extern const unsigned int g_FileCount;

}  // namespace CppPackageData
}  // namespace Zyn
