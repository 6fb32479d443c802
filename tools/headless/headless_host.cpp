#include "tools/headless/headless_host.h"

#include <obs-nix-platform.h>
#include <obs.hpp>
#include <util/base.h>
#include <util/platform.h>

#include <X11/Xlib.h>

#include <atomic>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <thread>
#include <vector>

#ifndef TORVANE_OBS_PLUGIN_DIR
#define TORVANE_OBS_PLUGIN_DIR "/usr/lib/x86_64-linux-gnu/obs-plugins"
#endif
#ifndef TORVANE_OBS_PLUGIN_DATA_DIR
#define TORVANE_OBS_PLUGIN_DATA_DIR "/usr/share/obs/obs-plugins"
#endif

namespace torvane {
namespace {

// obs_load_all_modules would also load the UI modules, which abort without a
// QApplication; these are all a multistream needs (color_source lives in
// image-source).
const char *const host_modules[] = {"obs-x264", "obs-ffmpeg", "obs-outputs", "rtmp-services", "image-source"};

const char *const tone_source_id = "torvane_test_tone";

struct HostState {
	Display *display = nullptr;
	FILE *log = nullptr;
	std::mutex log_mutex;
	std::string config_dir;
	bool remove_config_dir = false;
	bool started = false;
	OBSSourceAutoRelease picture;
	OBSSourceAutoRelease tone;
	std::atomic<uint32_t> tick{0};
};

HostState host;

void LogHandler(int level, const char *format, va_list args, void *)
{
	if (!host.log)
		return;
	char line[4096];
	vsnprintf(line, sizeof(line), format, args);
	const char *kind = level <= LOG_ERROR ? "error" : level <= LOG_WARNING ? "warning" : "info";
	std::lock_guard<std::mutex> lock(host.log_mutex);
	fprintf(host.log, "%s: %s\n", kind, line);
	fflush(host.log);
}

// A 440 Hz sine, generated on its own thread in 10 ms blocks stamped with the
// host clock, so that the audio mix sees a live input just like a microphone.
struct ToneSource {
	obs_source_t *source = nullptr;
	std::atomic<bool> running{true};
	std::thread thread;
};

void ToneLoop(ToneSource *tone)
{
	constexpr uint32_t rate = 48000;
	constexpr uint32_t block = rate / 100;
	constexpr double step = 2.0 * M_PI * 440.0 / rate;
	std::vector<float> samples(block);
	double phase = 0.0;
	uint64_t timestamp = os_gettime_ns();
	while (tone->running.load()) {
		for (float &sample : samples) {
			sample = static_cast<float>(0.25 * std::sin(phase));
			phase = std::fmod(phase + step, 2.0 * M_PI);
		}
		obs_source_audio audio = {};
		audio.data[0] = reinterpret_cast<const uint8_t *>(samples.data());
		audio.frames = block;
		audio.speakers = SPEAKERS_MONO;
		audio.format = AUDIO_FORMAT_FLOAT;
		audio.samples_per_sec = rate;
		audio.timestamp = timestamp;
		obs_source_output_audio(tone->source, &audio);
		timestamp += 10000000ULL;
		os_sleepto_ns(timestamp);
	}
}

void *ToneCreate(obs_data_t *, obs_source_t *source)
{
	auto *tone = new ToneSource;
	tone->source = source;
	tone->thread = std::thread(ToneLoop, tone);
	return tone;
}

void ToneDestroy(void *data)
{
	auto *tone = static_cast<ToneSource *>(data);
	tone->running.store(false);
	tone->thread.join();
	delete tone;
}

const char *ToneName(void *)
{
	return "Torvane test tone";
}

void RegisterToneSource()
{
	obs_source_info info = {};
	info.id = tone_source_id;
	info.type = OBS_SOURCE_TYPE_INPUT;
	info.output_flags = OBS_SOURCE_AUDIO;
	info.get_name = ToneName;
	info.create = ToneCreate;
	info.destroy = ToneDestroy;
	obs_register_source(&info);
}

// A colour that changes on every frame: each encoded frame differs from the
// last, so the encoder and the servers see real motion at no rendering cost.
void TickPicture(void *, float)
{
	if (!host.picture)
		return;
	uint32_t n = host.tick.fetch_add(1) + 1;
	uint32_t r = (n * 7) & 0xff, g = (n * 3) & 0xff, b = (255 - n) & 0xff;
	OBSDataAutoRelease settings = obs_data_create();
	obs_data_set_int(settings, "color", 0xff000000u | (b << 16) | (g << 8) | r);
	obs_source_update(host.picture, settings);
}

bool CreatePicture(uint32_t width, uint32_t height, std::string &error)
{
	OBSDataAutoRelease settings = obs_data_create();
	obs_data_set_int(settings, "width", width);
	obs_data_set_int(settings, "height", height);
	host.picture = obs_source_create("color_source", "Torvane test picture", settings, nullptr);
	if (!host.picture) {
		error = "The test picture could not be created (OBS's image-source module is missing).";
		return false;
	}
	obs_set_output_source(0, host.picture);
	return true;
}

bool CreateTone(std::string &error)
{
	host.tone = obs_source_create(tone_source_id, "Torvane test tone", nullptr, nullptr);
	if (!host.tone) {
		error = "The test tone could not be created.";
		return false;
	}
	obs_set_output_source(1, host.tone);
	return true;
}

void RemoveTone()
{
	obs_set_output_source(1, nullptr);
	host.tone = nullptr;
}

obs_video_info MakeVideoInfo(const HostVideo &video)
{
	obs_video_info ovi = {};
	ovi.graphics_module = "libobs-opengl";
	ovi.fps_num = video.fps_num;
	ovi.fps_den = video.fps_den;
	ovi.base_width = video.width;
	ovi.base_height = video.height;
	ovi.output_width = video.width;
	ovi.output_height = video.height;
	ovi.output_format = VIDEO_FORMAT_NV12;
	ovi.adapter = 0;
	ovi.gpu_conversion = true;
	ovi.colorspace = video.colorspace;
	ovi.range = VIDEO_RANGE_PARTIAL;
	ovi.scale_type = OBS_SCALE_BICUBIC;
	return ovi;
}

bool ResetVideo(const HostVideo &video, std::string &error)
{
	if (video.fps_num == 0 || video.fps_den == 0 || video.width < 2 || video.height < 2) {
		error = "The canvas size and frame rate must be positive.";
		return false;
	}
	obs_video_info ovi = MakeVideoInfo(video);
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
	return true;
}

bool LoadModule(const char *name, std::string &error)
{
	std::string binary = std::string(TORVANE_OBS_PLUGIN_DIR) + "/" + name + ".so";
	std::string data = std::string(TORVANE_OBS_PLUGIN_DATA_DIR) + "/" + name;
	obs_module_t *module = nullptr;
	int result = obs_open_module(&module, binary.c_str(), data.c_str());
	if (result != MODULE_SUCCESS) {
		error = std::string("OBS's module ") + name + " could not be opened from " + binary + " (code " +
			std::to_string(result) + ").";
		return false;
	}
	if (!obs_init_module(module)) {
		error = std::string("OBS's module ") + name + " did not initialise.";
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
	std::vector<char> buffer(pattern.begin(), pattern.end());
	buffer.push_back('\0');
	if (!mkdtemp(buffer.data())) {
		error = "A private module configuration folder cannot be created in the temporary folder.";
		return false;
	}
	host.config_dir = buffer.data();
	host.remove_config_dir = true;
	return true;
}

bool StartSteps(const HostOptions &options, std::string &error)
{
	if (!options.log_path.empty()) {
		host.log = fopen(options.log_path.c_str(), "w");
		if (!host.log) {
			error = "The OBS log file " + options.log_path + " cannot be written.";
			return false;
		}
	}
	base_set_log_handler(LogHandler, nullptr);

	const char *display_name = getenv("DISPLAY");
	if (!display_name || !*display_name) {
		error = "No X display: set DISPLAY, for example to a display of Xvfb.";
		return false;
	}
	host.display = XOpenDisplay(nullptr);
	if (!host.display) {
		error = std::string("The X display ") + display_name + " cannot be opened.";
		return false;
	}
	if (!PrepareConfigDir(options.config_dir, error))
		return false;

	// GLX aborts without a window; EGL on the display works with Mesa's
	// software renderer as well as with a GPU.
	obs_set_nix_platform(OBS_NIX_PLATFORM_X11_EGL);
	obs_set_nix_platform_display(host.display);
	if (!obs_startup("en-US", host.config_dir.c_str(), nullptr)) {
		error = "OBS could not start.";
		return false;
	}
	host.started = true;

	if (!ResetAudio(options.audio, error) || !ResetVideo(options.video, error))
		return false;
	for (const char *name : host_modules) {
		if (!LoadModule(name, error))
			return false;
	}
	obs_post_load_modules();
	RegisterToneSource();

	if (!CreatePicture(options.video.width, options.video.height, error) || !CreateTone(error))
		return false;
	obs_add_tick_callback(TickPicture, nullptr);
	return true;
}

} // namespace

bool StartHeadlessHost(const HostOptions &options, std::string &error)
{
	if (host.display || host.started) {
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
	if (!ResetVideo(video, error))
		return false;
	// The picture is drawn at its own size at the canvas origin: it must follow
	// the canvas to fill it.
	OBSDataAutoRelease settings = obs_data_create();
	obs_data_set_int(settings, "width", video.width);
	obs_data_set_int(settings, "height", video.height);
	obs_source_update(host.picture, settings);
	return true;
}

bool ResetHostAudio(const HostAudio &audio, std::string &error)
{
	if (!host.started) {
		error = "The headless host is not running.";
		return false;
	}
	// A source resamples for the mix it was created with; a new tone meets the
	// new mix.
	RemoveTone();
	bool reset = ResetAudio(audio, error);
	std::string tone_error;
	if (!CreateTone(tone_error) && reset) {
		error = tone_error;
		return false;
	}
	return reset;
}

void StopHeadlessHost()
{
	if (host.started) {
		obs_remove_tick_callback(TickPicture, nullptr);
		obs_set_output_source(0, nullptr);
		RemoveTone();
		host.picture = nullptr;
		obs_shutdown();
		host.started = false;
	}
	if (host.display) {
		XCloseDisplay(host.display);
		host.display = nullptr;
	}
	if (host.remove_config_dir && !host.config_dir.empty()) {
		std::error_code ec;
		std::filesystem::remove_all(host.config_dir, ec);
	}
	host.config_dir.clear();
	host.remove_config_dir = false;
	base_set_log_handler(nullptr, nullptr);
	if (host.log) {
		fclose(host.log);
		host.log = nullptr;
	}
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

static bool ParseNumber(const std::string &text, uint32_t &value)
{
	if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos)
		return false;
	value = static_cast<uint32_t>(std::stoul(text));
	return true;
}

bool ParseCanvasSize(const std::string &text, uint32_t &width, uint32_t &height)
{
	size_t x = text.find('x');
	uint32_t w = 0, h = 0;
	if (x == std::string::npos || !ParseNumber(text.substr(0, x), w) || !ParseNumber(text.substr(x + 1), h))
		return false;
	if (w < 2 || h < 2 || w > 16384 || h > 16384 || w % 2 || h % 2)
		return false;
	width = w;
	height = h;
	return true;
}

bool ParseFrameRate(const std::string &text, uint32_t &num, uint32_t &den)
{
	size_t slash = text.find('/');
	uint32_t n = 0, d = 1;
	if (!ParseNumber(text.substr(0, slash), n))
		return false;
	if (slash != std::string::npos && !ParseNumber(text.substr(slash + 1), d))
		return false;
	if (n == 0 || d == 0 || n / d > 240)
		return false;
	num = n;
	den = d;
	return true;
}

} // namespace torvane
