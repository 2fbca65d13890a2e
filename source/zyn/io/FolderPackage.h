// A package over a folder of the disk, or over the working directory when
// its name is empty. Backslashes in requested names are turned into forward
// slashes, so names written for packs find the same files here.
// OpenFile builds its path in a shared buffer: call it from one thread at a time.
#pragma once

#include <string>

#include <zyn/io/Package.h>

namespace Zyn {

class FolderPackage : public Package {
    ZYN_DECLARE_CLASS(FolderPackage)

public:
    /// An empty name maps the working directory ("WorkingFolderPackage");
    /// otherwise the folder is the folder argument, or the name when that is
    /// null or empty.
    explicit FolderPackage(const char* name = "", const char* folder = "");
    ZYN_STATIC_CREATE(FolderPackage)

    /// New DiskFile owned by the caller, or null when the file cannot be
    /// opened or the path would exceed 255 characters (logged).
    File* OpenFile(const char* name) override;

    static void RegisterProps(Class* cls);

private:
    bool m_bUseFolder;
    std::string m_Folder;
};

}  // namespace Zyn
