// Helpers for the end-to-end tests of the command-line programs: running a
// program with its output captured, the effect files and pack the tests
// work on (built with the framework's own classes and writers), a reader of
// PNG files, and a small strict JSON parser to check what the tools print.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "io/IoTestUtil.h"

namespace Zyn {
class Object;
}

namespace ZynTest {

struct RunResult {
    int status = -1;
    std::string out;
    std::string err;
};

/// Runs program with the arguments from the folder dir; standard error goes
/// through a file in dir.
RunResult RunProgram(const std::string& program, const TempDir& dir, const std::vector<std::string>& args);

/// The saved form of an object hierarchy.
Bytes SaveStream(Zyn::Object* root);
/// Writes the hierarchy's stream to path; false when it cannot be saved.
bool WriteStream(Zyn::Object* root, const std::string& path);

/// A 16 x 16 white glow as a 32-bit TGA: alpha falls from the centre outwards.
Bytes GlowTga();

/// A small effect: ParticleEffect "effect" with a SprayEmitter "spray" (the
/// texture named textureName, a ParAffectorGravity "pull") and a
/// SimpleEmitter "sparks" without texture. Count 0, owned by the caller.
Zyn::Object* MakeEffect(const std::string& textureName);

/// Decoded PNG as RGBA rows top first; false when it is no PNG.
bool ReadPng(const std::string& path, int& w, int& h, Bytes& rgba);

/// A parsed JSON value.
struct Json {
    enum Type { kNull, kBool, kNumber, kString, kArray, kObject } type = kNull;
    bool boolean = false;
    double number = 0.0;
    std::string text;
    std::vector<Json> items;
    std::vector<std::pair<std::string, Json>> members;

    /// The member of that key, or null.
    const Json* Get(const std::string& key) const;
    /// The member's text, or "" when it is missing or no string.
    std::string Str(const std::string& key) const;
};

/// Parses exactly one JSON document (RFC 8259, with surrounding white space);
/// false, with the offset of the problem in error, on anything else.
bool ParseJson(const std::string& text, Json& out, std::string& error);

}  // namespace ZynTest
