// The scene start-up: mounts the pack, preloads the art and effects, opens
// the save directory and the settings, and hands the scene to Root. Runs once
// per process, after Root is initialised.
#pragma once

#include <string>

/// The pack the scene mounts, looked for in the data folder.
const char* const kScenePackName = "RezAduva.pac";

void ZynMainScene();

/// Ends the scene on a normal exit, while the GL context still exists: the
/// application leaves Root and the preloaded art and effects are released,
/// so that Root finds no resource still referenced. Nothing when the scene
/// never started.
void ZynMainSceneShutDown();

/// Checks, before anything starts, that the pack at `path` can be read and
/// holds every member the scene loads. False with one line in `problem`
/// (why the pack cannot be read, or which member it lacks) otherwise.
[[nodiscard]] bool CheckScenePack(const std::string& path, std::string& problem);

/// Starts decoding the scene's images from the pack at `path` on a background
/// thread, so that the work overlaps the GL context's creation: the texture
/// loads of ZynMainScene take the pixels. Call it before the view is made.
void PrefetchSceneImages(const std::string& path);

/// Makes the screen saver view run ZynMainScene, as its ZynMain, on its
/// first creation.
void RegisterZynMain();
