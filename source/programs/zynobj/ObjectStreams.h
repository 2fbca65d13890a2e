// Loading and saving object streams for the tools. Packages named by the
// user are mounted on the Root's search path for the context's lifetime.
// Every texture an object names is a texture of that name without pixels,
// so that a hierarchy shows and saves the names its file holds, also where
// no package holds the image (the manager would answer the null texture),
// and no image is decoded. One context at a time, on the main thread.
#pragma once

#include <set>
#include <string>
#include <vector>

#include <zyn/core/Object.h>

namespace Zyn {
class Class;
class Package;
}  // namespace Zyn

namespace ZynObj {

class NameRecorder;

class StreamContext {
public:
    StreamContext();
    /// Unmounts the packages and lets the placeholder textures go.
    ~StreamContext();
    StreamContext(const StreamContext&) = delete;
    StreamContext& operator=(const StreamContext&) = delete;

    /// Mounts a pack file, or a folder, behind those mounted before. False,
    /// with the reason in error, when it cannot be opened.
    bool MountPack(const std::string& path, std::string& error);
    bool MountFolder(const std::string& path, std::string& error);
    bool HasMounts() const { return !m_Mounted.empty(); }

    struct Loaded {
        Zyn::Ref<Zyn::Object> root;
        /// Bytes after the root object that no object read.
        unsigned trailingBytes = 0;
        /// Error lines the framework logged while reading.
        int errors = 0;
    };
    /// Reads the object stream of a file. False, with the reason in error,
    /// when the file cannot be read or holds no readable stream.
    bool Load(const std::string& path, Loaded& out, std::string& error);

    /// Names of textures the loaded hierarchy uses that no package holds.
    std::vector<std::string> MissingTextures() const;

    /// The texture of that name for a pointer property, without pixels. A
    /// new reference for the caller; null, with the reason in error, for an
    /// empty name.
    Zyn::Object* AcquireTexture(const std::string& name, std::string& error);

    /// Writes root's hierarchy to path through a temporary file beside it
    /// and a rename, so that path holds either the old or the new stream. An
    /// existing file keeps its permissions. False with the reason in error.
    static bool Save(Zyn::Object* root, const std::string& path, std::string& error);

private:
    Zyn::Object* Placeholder(const std::string& name);

    std::vector<Zyn::Package*> m_Mounted;  // one reference each, also held by the Root
    NameRecorder* m_pRecorder;             // one reference, also held by the Root
    std::vector<Zyn::Ref<Zyn::Object>> m_Placeholders;
    std::set<std::string> m_Unfound;  // placeholder names no package holds
};

}  // namespace ZynObj
