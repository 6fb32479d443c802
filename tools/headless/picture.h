#pragma once

#include <cstdint>
#include <string>

namespace torvane::headless {

// Puts the moving test picture on the program output's video channel: a
// background colour that changes with every frame and a textured tile (written
// as a bitmap into `folder`) gliding over it, so the encoder spends its bits
// as it would on a camera picture and never sees a scene cut. Its left and
// right edges are marked blue and cyan. Beside it, a public scene "Test card":
// still, magenta on the left half and green on the right.
bool StartPicture(const std::string &folder, uint32_t width, uint32_t height, std::string &error);

// The background is drawn at its own size at the canvas origin: it follows a
// new canvas size to fill it.
void FitPicture(uint32_t width, uint32_t height);

void StopPicture();

} // namespace torvane::headless
