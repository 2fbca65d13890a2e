#include <zyn/io/FolderPackage.h>

#include <cstdio>
#include <cstring>

#include <zyn/core/Log.h>
#include <zyn/core/Property.h>
#include <zyn/io/DiskFile.h>

namespace Zyn {

ZYN_IMPLEMENT_CLASS(FolderPackage, "FolderPackage", &FolderPackage::StaticCreate, nullptr,
                    &FolderPackage::RegisterProps, Package)

namespace {

// The path of every open is built here; paths that do not fit are refused
// rather than cut, so a truncated path can never open another file.
char g_PathBuffer[256];

}  // namespace

FolderPackage::FolderPackage(const char* name, const char* folder) : Package(name ? name : "") {
    m_bUseFolder = !m_Name.empty();
    if (!m_bUseFolder) m_Name = "WorkingFolderPackage";
    m_Folder = folder && *folder ? folder : (name ? name : "");
}

void FolderPackage::RegisterProps(Class* cls) {
    cls->InsertValueProp(new MemberProp<std::string>("Folder", "Mapped Folder", &FolderPackage::m_Folder, 0));
}

File* FolderPackage::OpenFile(const char* name) {
    if (!name) return nullptr;
    const int n = m_bUseFolder
                      ? std::snprintf(g_PathBuffer, sizeof g_PathBuffer, "%s/%s", m_Folder.c_str(), name)
                      : std::snprintf(g_PathBuffer, sizeof g_PathBuffer, "%s", name);
    if (n < 0 || unsigned(n) >= sizeof g_PathBuffer) {
        LogSend(kLogWarning, "FolderPackage -> path of %s in %s is longer than %u characters; not opened",
                name, m_Folder.c_str(), unsigned(sizeof g_PathBuffer - 1));
        return nullptr;
    }
    for (char* p = g_PathBuffer; *p; ++p) {
        if (*p == '\\') *p = '/';
    }
    DiskFile* f = new DiskFile(g_PathBuffer, "rb");
    if (f->IsOpen()) return f;
    delete f;
    return nullptr;
}

}  // namespace Zyn
