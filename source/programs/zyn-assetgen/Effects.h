// The seven effects of the scene, built with the framework's emitter and
// affector classes and saved through its object stream writer.
#pragma once

#include <string>
#include <vector>

namespace AssetGen {

struct EffectFile {
    std::string name;  // pack member name, e.g. "fx\\sel_7.zyn"
    std::vector<unsigned char> bytes;
};

/// Builds and serialises every effect; false when one cannot be saved.
bool BuildEffects(std::vector<EffectFile>& out);

}  // namespace AssetGen
