// What every harness shares: quiet logging, a private temporary folder for the
// files a harness must write, the offscreen GL context, and an in-memory
// package that serves fuzz input under a name. All of it is set up once per
// process from LLVMFuzzerInitialize or the first input; harnesses must leave
// the process as they found it after each input (no growth, no leaks).
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include <zyn/io/Package.h>

/// A property every input must keep; a broken one is a finding (abort).
#define ZYN_FUZZ_CHECK(cond)                                                                    \
    do {                                                                                         \
        if (!(cond)) ::ZynFuzz::Fail(__FILE__, __LINE__, #cond);                                 \
    } while (0)

namespace ZynFuzz {

/// Prints the broken property and aborts.
[[noreturn]] void Fail(const char* file, int line, const char* what);

typedef std::vector<unsigned char> Bytes;

/// Silences the console log output (every line is still formatted, so that
/// format faults show) and makes the temporary folder. The working directory
/// stays: libFuzzer resolves corpus and artifact paths against it.
void Init();

/// The process's own temporary folder, removed at exit.
const std::string& TempDir();

/// Creates the offscreen surface and initialises the renderer once. False
/// when no GL context can be made; harnesses then skip their GL paths.
bool InitGraphics();

/// Begins a frame whose viewport is a single pixel with a 64 x 64 logical
/// screen: every drawing call runs its own arithmetic and reaches GL, while
/// the software rasteriser has next to nothing to fill. False without GL.
bool BeginTinyFrame();
/// Ends the frame BeginTinyFrame began.
void EndTinyFrame();

/// Serves byte vectors by name; mounted in front of the Root's packages.
class MemPackage : public Zyn::Package {
public:
    MemPackage() : Zyn::Package("fuzz") {}
    /// A read-only MemoryFile over the stored bytes, owned by the caller.
    Zyn::File* OpenFile(const char* name) override;
    void Set(const std::string& name, const uint8_t* data, size_t size);
    void Set(const std::string& name, Bytes bytes) { m_Files[name] = std::move(bytes); }
    void Clear() { m_Files.clear(); }

private:
    std::map<std::string, Bytes> m_Files;
};

/// The process's MemPackage, mounted on first call; borrowed, never null.
MemPackage* Package();

/// Mounts the compiled-in package ("cppfontfile") behind the others, once.
void MountCompiledInPackage();

/// Makes small textures under the names of the scene's sheets, loads the
/// debug font, and holds them for the process, so that inputs naming them
/// find them loaded. Needs InitGraphics.
void HoldSceneResources();

/// Splits data at each occurrence of the 4-byte separator "ZYN|" into at most
/// parts pieces (the last piece keeps any further separators).
std::vector<Bytes> Split(const uint8_t* data, size_t size, size_t parts);

/// False for object streams that name the file log output (its constructor
/// truncates the file named like the object) or a package together with a
/// path (packages open the file named like the object).
bool IsStreamContained(const uint8_t* data, size_t size);

/// Removes every entry of the folder, keeping the folder.
void EmptyFolder(const std::string& path);

}  // namespace ZynFuzz
