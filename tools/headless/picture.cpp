#include "tools/headless/picture.h"

#include <obs.hpp>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <vector>

namespace torvane::headless {
namespace {

constexpr uint32_t pattern_size = 256;
constexpr uint32_t edge_width = 48;

// The colours of the edges and the card: the sweeping background never comes
// within 50 of any channel of them.
constexpr uint32_t left_edge_color = 0xffff0000;             // blue (ABGR)
constexpr uint32_t right_edge_color = 0xffffff00;            // cyan
constexpr uint32_t card_colors[] = {0xffff00ff, 0xff00ff00}; // magenta, green

struct Picture {
	OBSSceneAutoRelease scene;
	OBSSourceAutoRelease background;
	OBSSourceAutoRelease pattern;
	obs_sceneitem_t *pattern_item = nullptr; // owned by the scene
	OBSSourceAutoRelease edges[2];           // left, right
	obs_sceneitem_t *right_edge_item = nullptr;
	OBSSceneAutoRelease card; // the public "Test card" scene
	OBSSourceAutoRelease card_halves[2];
	obs_sceneitem_t *card_right_item = nullptr;
	std::atomic<uint32_t> canvas_width{0}, canvas_height{0};
	std::atomic<uint32_t> tick{0};
};

Picture picture;

// A level that sweeps 0..255..0 in steps of `step`: the picture changes on every
// frame, but never so abruptly that the encoder sees a scene cut and adds a
// keyframe of its own.
uint32_t Sweep(uint32_t n, uint32_t step)
{
	uint32_t x = (n * step) % 510;
	return x < 256 ? x : 509 - x;
}

// A flat picture alone makes x264 insert a keyframe every few frames; the
// gliding tile gives it motion to predict.
void TickPicture(void *, float)
{
	if (!picture.background || !picture.pattern_item)
		return;
	uint32_t n = picture.tick.fetch_add(1) + 1;
	uint32_t r = Sweep(n, 2), g = Sweep(n + 85, 3), b = Sweep(n + 170, 1);
	OBSDataAutoRelease settings = obs_data_create();
	obs_data_set_int(settings, "color", 0xff000000u | (b << 16) | (g << 8) | r);
	obs_source_update(picture.background, settings);

	float room_x = static_cast<float>(picture.canvas_width.load()) - pattern_size;
	float room_y = static_cast<float>(picture.canvas_height.load()) - pattern_size;
	vec2 position;
	position.x = std::max(0.0f, room_x) * 0.5f * (1.0f + static_cast<float>(std::sin(n * 0.031)));
	position.y = std::max(0.0f, room_y) * 0.5f * (1.0f + static_cast<float>(std::cos(n * 0.023)));
	obs_sceneitem_set_pos(picture.pattern_item, &position);
}

// Writes a 24-bit BMP of coloured interference rings: detailed everywhere, so
// that intra coding is expensive and motion prediction pays.
bool WritePattern(const std::string &path)
{
	const uint32_t row = pattern_size * 3;
	const uint32_t pixels = row * pattern_size;
	uint8_t header[54] = {'B', 'M'};
	auto put32 = [&](size_t at, uint32_t v) {
		for (int i = 0; i < 4; i++)
			header[at + i] = static_cast<uint8_t>(v >> (8 * i));
	};
	put32(2, 54 + pixels);
	put32(10, 54);
	put32(14, 40);
	put32(18, pattern_size);
	put32(22, pattern_size);
	header[26] = 1;
	header[28] = 24;
	put32(34, pixels);
	std::vector<uint8_t> data(pixels);
	for (uint32_t y = 0; y < pattern_size; y++) {
		for (uint32_t x = 0; x < pattern_size; x++) {
			uint8_t *p = &data[y * row + x * 3];
			p[0] = static_cast<uint8_t>((x * x + y * y) / 37);
			p[1] = static_cast<uint8_t>(x ^ y);
			p[2] = static_cast<uint8_t>((x * y) / 61);
		}
	}
	FILE *file = fopen(path.c_str(), "wb");
	if (!file)
		return false;
	bool ok = fwrite(header, 1, sizeof(header), file) == sizeof(header) &&
		  fwrite(data.data(), 1, data.size(), file) == data.size();
	return fclose(file) == 0 && ok;
}

OBSSourceAutoRelease SolidColor(const char *name, uint32_t color)
{
	OBSDataAutoRelease settings = obs_data_create();
	obs_data_set_int(settings, "color", color);
	return obs_source_create_private("color_source", name, settings);
}

void SetSize(obs_source_t *source, uint32_t width, uint32_t height)
{
	OBSDataAutoRelease settings = obs_data_create();
	obs_data_set_int(settings, "width", width);
	obs_data_set_int(settings, "height", height);
	obs_source_update(source, settings);
}

// Strips of their own colours down the left and right edges, over everything,
// so that a crop of the centre can be told from the whole picture.
void AddEdges()
{
	picture.edges[0] = SolidColor("Torvane left edge", left_edge_color);
	picture.edges[1] = SolidColor("Torvane right edge", right_edge_color);
	obs_scene_add(picture.scene, picture.edges[0]);
	picture.right_edge_item = obs_scene_add(picture.scene, picture.edges[1]);
}

// A still scene that documents can name: magenta on the left, green on the right.
void AddTestCard()
{
	picture.card = obs_scene_create("Test card");
	for (size_t i = 0; i < 2; i++) {
		picture.card_halves[i] = SolidColor(i ? "Test card right" : "Test card left", card_colors[i]);
		obs_sceneitem_t *item = obs_scene_add(picture.card, picture.card_halves[i]);
		if (i)
			picture.card_right_item = item;
	}
}

} // namespace

bool StartPicture(const std::string &folder, uint32_t width, uint32_t height, std::string &error)
{
	picture.scene = obs_scene_create_private("Torvane test scene");
	picture.background = obs_source_create_private("color_source", "Torvane test picture", nullptr);
	std::string pattern_path = folder + "/test-pattern.bmp";
	OBSDataAutoRelease pattern_settings = obs_data_create();
	obs_data_set_string(pattern_settings, "file", pattern_path.c_str());
	if (WritePattern(pattern_path))
		picture.pattern = obs_source_create_private("image_source", "Torvane test pattern", pattern_settings);
	if (!picture.scene || !picture.background || !picture.pattern) {
		error = "The test picture could not be created (OBS's image-source module is missing).";
		return false;
	}
	obs_scene_add(picture.scene, picture.background);
	picture.pattern_item = obs_scene_add(picture.scene, picture.pattern);
	AddEdges();
	AddTestCard();
	FitPicture(width, height);
	obs_set_output_source(0, obs_scene_get_source(picture.scene));
	obs_add_tick_callback(TickPicture, nullptr);
	return true;
}

void FitPicture(uint32_t width, uint32_t height)
{
	picture.canvas_width = width;
	picture.canvas_height = height;
	if (!picture.background)
		return;
	SetSize(picture.background, width, height);
	for (const OBSSourceAutoRelease &edge : picture.edges)
		SetSize(edge, edge_width, height);
	for (const OBSSourceAutoRelease &half : picture.card_halves)
		SetSize(half, width / 2, height);
	const vec2 right_edge{{{float(width - edge_width), 0.0f}}}, right_half{{{float(width / 2), 0.0f}}};
	obs_sceneitem_set_pos(picture.right_edge_item, &right_edge);
	obs_sceneitem_set_pos(picture.card_right_item, &right_half);
}

void StopPicture()
{
	obs_remove_tick_callback(TickPicture, nullptr);
	obs_set_output_source(0, nullptr);
	picture.pattern_item = nullptr;
	picture.right_edge_item = nullptr;
	picture.card_right_item = nullptr;
	picture.card = nullptr;
	for (size_t i = 0; i < 2; i++) {
		picture.edges[i] = nullptr;
		picture.card_halves[i] = nullptr;
	}
	picture.scene = nullptr;
	picture.background = nullptr;
	picture.pattern = nullptr;
}

} // namespace torvane::headless
