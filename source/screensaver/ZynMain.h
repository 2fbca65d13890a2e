// The scene start-up: mounts the pack, preloads the art and effects, opens
// the save directory and the settings, and hands the scene to Root. Runs once
// per process, after Root is initialised.
#pragma once

void ZynMainScene();

/// Makes the screen saver view run ZynMainScene, as its ZynMain, on its
/// first creation.
void RegisterZynMain();
