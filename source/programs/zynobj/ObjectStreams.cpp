#include "ObjectStreams.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <set>

#include <zyn/core/BasicSerializator.h>
#include <zyn/core/Root.h>
#include <zyn/graphics/Texture.h>
#include <zyn/graphics/TextureManager.h>
#include <zyn/io/File.h>
#include <zyn/io/FolderPackage.h>
#include <zyn/io/PacPackage.h>
#include <zyn/io/VectorFile.h>

#include "ToolOutput.h"

namespace fs = std::filesystem;
using Zyn::Object;

namespace ZynObj {

namespace {

// Larger files are not object streams any tool of ours wrote.
const uintmax_t kMaxStreamBytes = 256u << 20;

bool ReadWholeFile(const std::string& path, std::vector<unsigned char>& bytes, std::string& error) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        error = "cannot read " + path + ": " + std::strerror(errno);
        return false;
    }
    struct stat st;
    if (fstat(fileno(f), &st) != 0 || !S_ISREG(st.st_mode)) {
        std::fclose(f);
        error = "cannot read " + path + ": not a regular file";
        return false;
    }
    if (uintmax_t(st.st_size) > kMaxStreamBytes) {
        std::fclose(f);
        error = path + " is too large to be an object stream";
        return false;
    }
    bytes.resize(size_t(st.st_size));
    const bool ok = bytes.empty() || std::fread(bytes.data(), 1, bytes.size(), f) == bytes.size();
    std::fclose(f);
    if (!ok) error = "cannot read all of " + path;
    return ok;
}

/// A class name from a stream, fit for a message.
std::string Printable(const std::string& s) {
    std::string out;
    for (unsigned char c : s.substr(0, 64)) {
        if (c >= 0x20 && c < 0x7F) {
            out += char(c);
        } else {
            char buffer[8];
            std::snprintf(buffer, sizeof buffer, "\\x%02X", c);
            out += buffer;
        }
    }
    return s.size() > 64 ? out + "..." : out;
}

bool WriteAll(int fd, const std::vector<unsigned char>& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += size_t(n);
    }
    return true;
}

}  // namespace

/// Sits first on the search path. While recording it notes every name asked
/// for and answers it with an empty stream, so that nothing is decoded; else
/// it lets every request through.
class NameRecorder : public Zyn::Package {
public:
    NameRecorder() : Zyn::Package("zynobj names") {}
    Zyn::File* OpenFile(const char* name) override {
        if (!m_bRecording || !name) return nullptr;
        m_Names.insert(name);
        return new Zyn::VectorFile();
    }
    bool m_bRecording = false;
    std::set<std::string> m_Names;
};

StreamContext::StreamContext() : m_pRecorder(new NameRecorder) {
    m_pRecorder->AddRef();
    Zyn::Singleton<Zyn::Root>::Get()->InsertObject(m_pRecorder, Zyn::Root::kPackages, 0, nullptr);
}

StreamContext::~StreamContext() {
    Zyn::Root* root = Zyn::Singleton<Zyn::Root>::Get();
    for (Zyn::Package* p : m_Mounted) {
        root->RemoveObject(p, Zyn::Root::kPackages);
        p->Release();
    }
    root->RemoveObject(m_pRecorder, Zyn::Root::kPackages);
    m_pRecorder->Release();
    m_Placeholders.clear();
}

bool StreamContext::MountPack(const std::string& path, std::string& error) {
    std::error_code ec;
    if (!fs::is_regular_file(path, ec)) {
        error =
            "cannot open pack " + path + (fs::exists(path, ec) ? ": not a regular file" : ": no such file");
        return false;
    }
    Zyn::PacPackage* pack = new Zyn::PacPackage(path.c_str());
    pack->AddRef();
    const std::string& name = pack->GetName();
    if (name.size() >= 4 && name.compare(name.size() - 4, 4, " (!)") == 0) {
        pack->Release();
        error = "cannot open pack " + path;
        return false;
    }
    // Behind the packages mounted before.
    Zyn::Singleton<Zyn::Root>::Get()->InsertObject(pack, Zyn::Root::kPackages, 1, nullptr);
    m_Mounted.push_back(pack);
    return true;
}

bool StreamContext::MountFolder(const std::string& path, std::string& error) {
    std::error_code ec;
    if (!fs::is_directory(path, ec)) {
        error = "cannot use " + path + " as a data folder: not a folder";
        return false;
    }
    // The package joins names to the folder with a slash of its own.
    std::string folder = path;
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    Zyn::FolderPackage* package = new Zyn::FolderPackage(folder.c_str(), folder.c_str());
    package->AddRef();
    Zyn::Singleton<Zyn::Root>::Get()->InsertObject(package, Zyn::Root::kPackages, 1, nullptr);
    m_Mounted.push_back(package);
    return true;
}

Object* StreamContext::Placeholder(const std::string& name) {
    Zyn::TextureManager* manager = Zyn::GetCreateTextureManager();
    if (Object* known = manager->FindObject(name.c_str(), nullptr, 0)) return known;
    Zyn::Texture* texture = new Zyn::Texture(name.c_str());
    Object* obj = Zyn::ZYN_Cast<Object, Zyn::Texture>(texture);
    m_Placeholders.emplace_back(obj);
    // The manager adopts it without a reference; ours keeps it alive.
    manager->InsertObject(obj, 0, 0, nullptr);
    std::unique_ptr<Zyn::File> probe(Zyn::Singleton<Zyn::Root>::Get()->OpenFile(name.c_str(), false));
    if (!probe) m_Unfound.insert(name);
    return obj;
}

bool StreamContext::Load(const std::string& path, Loaded& out, std::string& error) {
    std::vector<unsigned char> bytes;
    if (!ReadWholeFile(path, bytes, error)) return false;
    {
        Zyn::VectorFile probe(bytes);
        std::string className;
        if (bytes.empty() || !probe.ReadString(className) || className.empty()) {
            error = path + " is not an object stream: it does not start with a class name";
            return false;
        }
        if (!Zyn::Class::FindClassQuiet(className.c_str())) {
            error = path + " starts with class \"" + Printable(className) +
                    "\", which is not a class of the framework or the screen saver";
            return false;
        }
    }

    Zyn::Root* root = Zyn::Singleton<Zyn::Root>::Get();
    // A quiet first reading collects the names the objects ask for. The
    // second one finds a texture of each such name already managed: the
    // names survive whether or not a package holds the image, and no image
    // is decoded (there is no GL context here).
    const int level = root->m_LogLevel;
    root->m_LogLevel = -1;
    m_pRecorder->m_Names.clear();
    m_pRecorder->m_bRecording = true;
    {
        Zyn::VectorFile file(bytes);
        Zyn::BasicSerializator serializator(&file);
        Zyn::Ref<Object> first(serializator.LoadHierarchy());
    }
    m_pRecorder->m_bRecording = false;
    root->m_LogLevel = level;
    for (const std::string& name : m_pRecorder->m_Names) Placeholder(name);

    Zyn::VectorFile file(bytes);
    Object* loaded = nullptr;
    {
        const ZynTool::ScopedErrorCount errors;
        {
            Zyn::BasicSerializator serializator(&file);
            loaded = serializator.LoadHierarchy();
        }
        out.errors = errors.GetCount();
    }
    if (!loaded) {
        error = path + " is damaged: its objects cannot be read (see the messages above)";
        return false;
    }
    out.root.Reset(loaded);
    const unsigned position = file.Seek(0, 1);
    out.trailingBytes = bytes.size() > position ? unsigned(bytes.size() - position) : 0;
    return true;
}

std::vector<std::string> StreamContext::MissingTextures() const {
    std::vector<std::string> names;
    // Ours is the only reference to a placeholder nothing uses.
    for (const Zyn::Ref<Object>& p : m_Placeholders)
        if (p->GetRefCount() > 1 && m_Unfound.count(p->GetName())) names.push_back(p->GetName());
    std::sort(names.begin(), names.end());
    return names;
}

Object* StreamContext::AcquireTexture(const std::string& name, std::string& error) {
    if (name.empty()) {
        error = "a texture name cannot be empty";
        return nullptr;
    }
    Object* texture = Placeholder(name);
    texture->AddRef();
    return texture;
}

bool StreamContext::Save(Object* root, const std::string& path, std::string& error) {
    Zyn::VectorFile data;
    {
        Zyn::BasicSerializator serializator(&data);
        if (!serializator.SaveHierarchy(root)) {
            error = "the objects cannot be written as an object stream (see the messages above)";
            return false;
        }
    }
    // Replace the file a link names, not the link.
    std::string target = path;
    std::error_code ec;
    if (fs::is_symlink(path, ec)) {
        const fs::path real = fs::canonical(path, ec);
        if (!ec) target = real.string();
    }
    struct stat st;
    const bool existed = stat(target.c_str(), &st) == 0;
    if (existed && !S_ISREG(st.st_mode)) {
        error = "cannot write " + path + ": not a regular file";
        return false;
    }
    std::string temp = target + ".tmp-XXXXXX";
    const int fd = mkstemp(temp.data());
    if (fd < 0) {
        error = "cannot create a file beside " + path + ": " + std::strerror(errno);
        return false;
    }
    mode_t mode = 0;
    if (existed) {
        mode = st.st_mode & 07777;
    } else {
        const mode_t mask = umask(0);
        umask(mask);
        mode = 0666 & ~mask;
    }
    fchmod(fd, mode);
    bool ok = WriteAll(fd, data.GetVector()) && fsync(fd) == 0;
    const int writeErrno = errno;
    ok = close(fd) == 0 && ok;
    if (!ok) {
        std::remove(temp.c_str());
        error = "cannot write " + path + ": " + std::strerror(writeErrno);
        return false;
    }
    if (std::rename(temp.c_str(), target.c_str()) != 0) {
        error = "cannot rename " + temp + " to " + target + ": " + std::strerror(errno);
        std::remove(temp.c_str());
        return false;
    }
    return true;
}

}  // namespace ZynObj
