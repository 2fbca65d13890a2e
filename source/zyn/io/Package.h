// Packages: named sources of files, searched by Root::OpenFile in the order
// of Root's "Packages" group. The object name is the package's name.
#pragma once

#include <zyn/core/Class.h>

namespace Zyn {

class File;

class Package : public Object {
    ZYN_DECLARE_CLASS(Package)

public:
    explicit Package(const char* name = "");
    /// New stream owned by the caller, or null when the package lacks the file.
    virtual File* OpenFile(const char* name) = 0;
};

/// The files compiled into the library ("debugfont.tga", "debugfont.zyn_fnt",
/// "debugfont.tga_ex"); serves only when named "cppfontfile". Root::Init
/// mounts one.
class CppPackage : public Package {
    ZYN_DECLARE_CLASS(CppPackage)

public:
    explicit CppPackage(const char* name = "");
    ZYN_STATIC_CREATE(CppPackage)
    /// New read-only MemoryFile over compiled-in bytes, owned by the caller, or null.
    File* OpenFile(const char* name) override;
};

}  // namespace Zyn
