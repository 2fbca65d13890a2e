// Builds demo.pac at build time: renders the logo images from the trophy
// sheet, writes the string table, the logo configuration and the resource
// list, and packs them with the members reused from the scene's pack.
#pragma once

#include <string>

namespace Demo {

/// Writes the pack at outPack. The scene's pack at scenePack is mounted for
/// the reused members; the generated ones are written into workDir first
/// (created when missing) and served from there. Root must be initialised on
/// a GL surface of kLogoWidth x kLogoHeight, which the logos are drawn into.
/// False after a message on standard error; no pack is left behind then.
[[nodiscard]] bool BuildDemoPack(const std::string& scenePack, const std::string& workDir,
                                 const std::string& outPack);

}  // namespace Demo
