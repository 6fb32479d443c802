#pragma once

#include "engine/engine.h"

#include <obs.hpp>

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// The pictures other than the program: each is a video mix of its own, one of
// libobs's views with its own size and the host's frame rate.
namespace torvane {

// One picture's mix. Held by every encoder group that encodes it; the last one
// to go takes the view out of libobs, after its encoder was released.
struct PictureMix {
	Picture picture;
	uint32_t width = 0;
	uint32_t height = 0;
	OBSSceneAutoRelease frame; // the centre of the program: a private scene holding the program
	OBSView view;
	video_t *video = nullptr;

	PictureMix() = default;
	PictureMix(const PictureMix &) = delete;
	PictureMix &operator=(const PictureMix &) = delete;
	~PictureMix();
};

// The names of the current collection's scenes, in OBS's order; none before OBS starts.
std::vector<std::string> SceneNames();

// The scene a picture names, or null when this collection has no scene by that
// name (or OBS has not started).
OBSSourceAutoRelease FindScene(const std::string &name);

// Checks the scene of every destination `included` names: it must exist. The
// sentence for the first that is missing, or an empty text.
std::string CheckPictures(const PanelSettings &settings, const std::function<bool(size_t)> &included);

// The size of a picture's mix for a quality height: the host's output size for a
// scene, 720 x 1280 or 1080 x 1920 for a vertical picture.
EncodedSize PictureSize(const Picture &picture, int32_t height);

// Adds the mix of a picture at a size to libobs; null when the scene is gone or
// libobs refuses the mix.
std::shared_ptr<PictureMix> CreatePictureMix(const Picture &picture, EncodedSize size);

} // namespace torvane
