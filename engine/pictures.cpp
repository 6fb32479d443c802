// The pictures other than the program, each a libobs view with a mix of its own.
#include "engine/pictures.h"

#include "settings/texts.h"

namespace torvane {

PictureMix::~PictureMix()
{
	// Detached only: the graphics thread frees the mix on its next frame. The
	// view itself, then the private scene, go after this.
	if (view)
		obs_view_remove(view);
}

std::vector<std::string> SceneNames()
{
	std::vector<std::string> names;
	if (!obs_initialized())
		return names;
	obs_enum_scenes(
		[](void *param, obs_source_t *scene) {
			static_cast<std::vector<std::string> *>(param)->push_back(obs_source_get_name(scene));
			return true;
		},
		&names);
	return names;
}

OBSSourceAutoRelease FindScene(const std::string &name)
{
	OBSSourceAutoRelease source = obs_initialized() ? obs_get_source_by_name(name.c_str()) : nullptr;
	return source && obs_source_is_scene(source) ? std::move(source) : nullptr;
}

std::string CheckPictures(const PanelSettings &settings, const std::function<bool(size_t)> &included)
{
	for (size_t i = 0; i < settings.destinations.size(); i++) {
		const Picture &picture = settings.destinations[i].picture;
		if (!included(i))
			continue;
		// OBS's stream's encode is of OBS's program and nothing else.
		if (picture.kind != PictureKind::Program && FollowsObsEncoder(settings.destinations[i]))
			return Tr(Txt::ObsStreamPicture, {std::to_string(i + 1)});
		if (!picture.scene.empty() && !FindScene(picture.scene))
			return Tr(Txt::SceneMissing, {std::to_string(i + 1), picture.scene});
	}
	return std::string();
}

EncodedSize PictureSize(const Picture &picture, int32_t height)
{
	if (picture.kind == PictureKind::Vertical)
		return EncodedSize{VerticalWidth(height), VerticalHeight(height)};
	obs_video_info video_info = {};
	obs_get_video_info(&video_info);
	return EncodedSize{video_info.output_width, video_info.output_height};
}

namespace {

// A private scene of the picture's size holding OBS's program, scaled to fill
// its height and centred, so the sides fall outside it.
OBSSceneAutoRelease ProgramCentre(EncodedSize size)
{
	OBSSourceAutoRelease program = obs_get_output_source(0);
	if (!program)
		return nullptr;
	OBSSceneAutoRelease scene = obs_scene_create_private("Torvane vertical");
	// Without a size of its own a scene has the host's canvas size (OBS 30).
	OBSDataAutoRelease scene_settings = obs_data_create();
	obs_data_set_bool(scene_settings, "custom_size", true);
	obs_data_set_int(scene_settings, "cx", size.width);
	obs_data_set_int(scene_settings, "cy", size.height);
	obs_source_update(obs_scene_get_source(scene), scene_settings);

	obs_sceneitem_t *item = obs_scene_add(scene, program);
	if (!item)
		return nullptr;
	const vec2 bounds{{{float(size.width), float(size.height)}}};
	obs_sceneitem_set_bounds_type(item, OBS_BOUNDS_SCALE_OUTER);
	obs_sceneitem_set_bounds_alignment(item, OBS_ALIGN_CENTER);
	obs_sceneitem_set_bounds(item, &bounds);
	return scene;
}

} // namespace

std::shared_ptr<PictureMix> CreatePictureMix(const Picture &picture, EncodedSize size)
{
	auto mix = std::make_shared<PictureMix>();
	mix->picture = picture;
	mix->width = size.width;
	mix->height = size.height;
	OBSSourceAutoRelease scene;
	if (!picture.scene.empty()) {
		scene = FindScene(picture.scene);
	} else {
		mix->frame = ProgramCentre(size);
		scene = obs_source_get_ref(obs_scene_get_source(mix->frame));
	}
	if (!scene)
		return nullptr;
	mix->view = obs_view_create();
	obs_view_set_source(mix->view, 0, scene);

	// The host's frame rate, colours and scaling; a scene has the host's sizes
	// too, a vertical picture its own.
	obs_video_info video_info = {};
	obs_get_video_info(&video_info);
	if (picture.kind == PictureKind::Vertical) {
		video_info.base_width = video_info.output_width = size.width;
		video_info.base_height = video_info.output_height = size.height;
	}
	mix->video = obs_view_add2(mix->view, &video_info);
	return mix->video ? mix : nullptr;
}

} // namespace torvane
