#include "tools/headless/host.h"

#include "tools/headless/display.h"
#include "tools/headless/log.h"
#include "tools/headless/picture.h"
#include "tools/headless/tone.h"

#include <obs-nix-platform.h>

#include <cstdlib>
#include <filesystem>

#ifndef TORVANE_OBS_PLUGIN_DIR
#define TORVANE_OBS_PLUGIN_DIR "/usr/lib/x86_64-linux-gnu/obs-plugins"
#endif
#ifndef TORVANE_OBS_PLUGIN_DATA_DIR
#define TORVANE_OBS_PLUGIN_DATA_DIR "/usr/share/obs/obs-plugins"
#endif

namespace torvane {
namespace {

// libobs itself: started, its configuration folder, and the video and audio
// it was last reset to.
struct HostState {
	bool started = false;
	bool display_open = false;
	std::string config_dir;
	bool remove_config_dir = false;
	HostVideo video;
	HostAudio audio;
};

HostState host;

bool SameVideo(const HostVideo &a, const HostVideo &b)
{
	return a.width == b.width && a.height == b.height && a.fps_num == b.fps_num && a.fps_den == b.fps_den &&
	       a.colorspace == b.colorspace && a.format == b.format;
}

bool ResetVideo(const HostVideo &video, std::string &error)
{
	if (video.fps_num == 0 || video.fps_den == 0 || video.width < 2 || video.height < 2) {
		error = "The canvas size and frame rate must be positive.";
		return false;
	}
	obs_video_info ovi = {};
	ovi.graphics_module = "libobs-opengl";
	ovi.fps_num = video.fps_num;
	ovi.fps_den = video.fps_den;
	ovi.base_width = video.width;
	ovi.base_height = video.height;
	ovi.output_width = video.width;
	ovi.output_height = video.height;
	ovi.output_format = video.format;
	ovi.adapter = 0;
	ovi.gpu_conversion = true;
	ovi.colorspace = video.colorspace;
	ovi.range = VIDEO_RANGE_PARTIAL;
	ovi.scale_type = OBS_SCALE_BICUBIC;
	int result = obs_reset_video(&ovi);
	if (result == OBS_VIDEO_CURRENTLY_ACTIVE) {
		error = "The host's video cannot change while a stream uses it.";
		return false;
	}
	if (result != OBS_VIDEO_SUCCESS) {
		error = "OBS video could not be started (code " + std::to_string(result) +
			"); an X display with OpenGL (EGL) is needed.";
		return false;
	}
	host.video = video;
	return true;
}

bool ResetAudio(const HostAudio &audio, std::string &error)
{
	obs_audio_info oai = {};
	oai.samples_per_sec = audio.samples_per_sec;
	oai.speakers = audio.speakers;
	if (!obs_reset_audio(&oai)) {
		error = obs_get_audio() && audio_output_active(obs_get_audio())
				? "The host's audio cannot change while a stream uses it."
				: "OBS audio could not be started with this sample rate and speaker layout.";
		return false;
	}
	host.audio = audio;
	return true;
}

bool LoadModule(const std::string &name, std::string &error)
{
	std::string binary = std::string(TORVANE_OBS_PLUGIN_DIR) + "/" + name + ".so";
	std::string data = std::string(TORVANE_OBS_PLUGIN_DATA_DIR) + "/" + name;
	obs_module_t *module = nullptr;
	int result = obs_open_module(&module, binary.c_str(), data.c_str());
	if (result != MODULE_SUCCESS) {
		error = "OBS's module " + name + " could not be opened from " + binary + " (code " +
			std::to_string(result) + ").";
		return false;
	}
	if (!obs_init_module(module)) {
		error = "OBS's module " + name + " did not initialise.";
		return false;
	}
	return true;
}

bool PrepareConfigDir(const std::string &wanted, std::string &error)
{
	if (!wanted.empty()) {
		std::error_code ec;
		std::filesystem::create_directories(wanted, ec);
		if (ec) {
			error = "The module configuration folder " + wanted + " cannot be created: " + ec.message() +
				".";
			return false;
		}
		host.config_dir = wanted;
		host.remove_config_dir = false;
		return true;
	}
	std::string pattern = (std::filesystem::temp_directory_path() / "torvane-host-XXXXXX").string();
	if (!mkdtemp(pattern.data())) {
		error = "A private module configuration folder cannot be created in the temporary folder.";
		return false;
	}
	host.config_dir = pattern;
	host.remove_config_dir = true;
	return true;
}

bool StartSteps(const HostOptions &options, std::string &error)
{
	if (!headless::StartLog(options.log_path, error))
		return false;
	void *display = headless::OpenDisplay(options.private_display, error);
	host.display_open = true;
	if (!display || !PrepareConfigDir(options.config_dir, error))
		return false;

	// GLX aborts without a window; EGL on the display works with Mesa's
	// software renderer as well as with a GPU.
	obs_set_nix_platform(OBS_NIX_PLATFORM_X11_EGL);
	obs_set_nix_platform_display(display);
	if (!obs_startup("en-US", host.config_dir.c_str(), nullptr)) {
		error = "OBS could not start.";
		return false;
	}
	host.started = true;

	if (!ResetAudio(options.audio, error) || !ResetVideo(options.video, error))
		return false;
	for (const std::string &name : options.modules) {
		if (!LoadModule(name, error))
			return false;
	}
	obs_post_load_modules();
	headless::RegisterToneSource();
	return headless::StartPicture(host.config_dir, options.video.width, options.video.height, error) &&
	       headless::StartTone(error);
}

} // namespace

bool StartHeadlessHost(const HostOptions &options, std::string &error)
{
	if (host.display_open || host.started) {
		error = "The headless host is already running.";
		return false;
	}
	if (StartSteps(options, error))
		return true;
	StopHeadlessHost();
	return false;
}

bool ResetHostVideo(const HostVideo &video, std::string &error)
{
	if (!host.started) {
		error = "The headless host is not running.";
		return false;
	}
	if (SameVideo(video, host.video))
		return true;
	if (!ResetVideo(video, error))
		return false;
	headless::FitPicture(video.width, video.height);
	return true;
}

bool ResetHostAudio(const HostAudio &audio, std::string &error)
{
	if (!host.started) {
		error = "The headless host is not running.";
		return false;
	}
	if (audio.samples_per_sec == host.audio.samples_per_sec && audio.speakers == host.audio.speakers)
		return true;
	headless::StopTone();
	bool reset = ResetAudio(audio, error);
	std::string tone_error;
	if (!headless::StartTone(tone_error) && reset) {
		error = tone_error;
		return false;
	}
	return reset;
}

void StopHeadlessHost()
{
	if (host.started) {
		headless::StopPicture();
		headless::StopTone();
		obs_shutdown();
		host.started = false;
	}
	headless::CloseDisplay();
	host.display_open = false;
	if (host.remove_config_dir && !host.config_dir.empty()) {
		std::error_code ec;
		std::filesystem::remove_all(host.config_dir, ec);
	}
	host.config_dir.clear();
	host.remove_config_dir = false;
	headless::StopLog();
}

HostFrameCounts GetHostFrameCounts()
{
	HostFrameCounts counts;
	video_t *video = obs_get_video();
	if (video) {
		counts.total = video_output_get_total_frames(video);
		counts.lagged = video_output_get_skipped_frames(video);
	}
	return counts;
}

} // namespace torvane
