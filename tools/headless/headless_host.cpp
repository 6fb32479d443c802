#include "tools/headless/headless_host.h"

#include <obs-nix-platform.h>
#include <obs.hpp>
#include <util/base.h>
#include <util/platform.h>

#include <X11/Xlib.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
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
	pid_t xvfb_pid = -1; // our own Xvfb, when we had to start one
	OBSSceneAutoRelease scene;
	OBSSourceAutoRelease picture;            // the background colour
	OBSSourceAutoRelease pattern;            // the textured tile moving over it
	obs_sceneitem_t *pattern_item = nullptr; // owned by the scene
	std::atomic<uint32_t> canvas_width{0}, canvas_height{0};
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

// A level that sweeps 0..255..0 in steps of `step`: the picture changes on every
// frame, but never so abruptly that the encoder sees a scene cut and adds a
// keyframe of its own.
uint32_t Sweep(uint32_t n, uint32_t step)
{
	uint32_t x = (n * step) % 510;
	return x < 256 ? x : 509 - x;
}

constexpr uint32_t pattern_size = 256;

// A textured tile gliding over the background: real motion the encoder can
// predict, so it spends its bits like it would on a camera picture and never
// mistakes a frame for a scene cut (a flat picture alone makes x264 insert a
// keyframe every few frames).
void TickPicture(void *, float)
{
	if (!host.picture || !host.pattern_item)
		return;
	uint32_t n = host.tick.fetch_add(1) + 1;
	uint32_t r = Sweep(n, 2), g = Sweep(n + 85, 3), b = Sweep(n + 170, 1);
	OBSDataAutoRelease settings = obs_data_create();
	obs_data_set_int(settings, "color", 0xff000000u | (b << 16) | (g << 8) | r);
	obs_source_update(host.picture, settings);

	float room_x = static_cast<float>(host.canvas_width.load()) - pattern_size;
	float room_y = static_cast<float>(host.canvas_height.load()) - pattern_size;
	vec2 position;
	position.x = std::max(0.0f, room_x) * 0.5f * (1.0f + static_cast<float>(std::sin(n * 0.031)));
	position.y = std::max(0.0f, room_y) * 0.5f * (1.0f + static_cast<float>(std::cos(n * 0.023)));
	obs_sceneitem_set_pos(host.pattern_item, &position);
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

void FitBackground(uint32_t width, uint32_t height)
{
	host.canvas_width = width;
	host.canvas_height = height;
	OBSDataAutoRelease settings = obs_data_create();
	obs_data_set_int(settings, "width", width);
	obs_data_set_int(settings, "height", height);
	obs_source_update(host.picture, settings);
}

bool CreatePicture(uint32_t width, uint32_t height, std::string &error)
{
	host.scene = obs_scene_create_private("Torvane test scene");
	host.picture = obs_source_create_private("color_source", "Torvane test picture", nullptr);
	std::string pattern_path = host.config_dir + "/test-pattern.bmp";
	OBSDataAutoRelease pattern_settings = obs_data_create();
	obs_data_set_string(pattern_settings, "file", pattern_path.c_str());
	if (WritePattern(pattern_path))
		host.pattern = obs_source_create_private("image_source", "Torvane test pattern", pattern_settings);
	if (!host.scene || !host.picture || !host.pattern) {
		error = "The test picture could not be created (OBS's image-source module is missing).";
		return false;
	}
	FitBackground(width, height);
	obs_scene_add(host.scene, host.picture);
	host.pattern_item = obs_scene_add(host.scene, host.pattern);
	obs_set_output_source(0, obs_scene_get_source(host.scene));
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
	ovi.output_format = video.format;
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

// Starts Xvfb on a display it picks itself (it writes the number to a pipe)
// and points DISPLAY at it.
bool StartPrivateDisplay(std::string &error)
{
	int fds[2];
	if (pipe(fds) != 0) {
		error = "A private X display cannot be started: no pipe.";
		return false;
	}
	std::string fd = std::to_string(fds[1]);
	const char *argv[] = {"Xvfb",         "-displayfd", fd.c_str(), "-screen", "0",
			      "1920x1080x24", "-nolisten",  "tcp",      nullptr};
	// Called before libobs starts any thread, so the child may do more than
	// async-signal-safe calls. The display dies with us, however we end.
	pid_t pid = fork();
	if (pid == 0) {
		prctl(PR_SET_PDEATHSIG, SIGKILL);
		int null = open("/dev/null", O_WRONLY);
		dup2(null, 1);
		dup2(null, 2);
		execvp(argv[0], const_cast<char *const *>(argv));
		_exit(127);
	}
	int spawned = pid > 0 ? 0 : -1;
	close(fds[1]);
	std::string number;
	pollfd waiting = {fds[0], POLLIN, 0};
	while (spawned == 0 && poll(&waiting, 1, 10000) > 0) {
		char c;
		if (read(fds[0], &c, 1) != 1 || c == '\n')
			break;
		number += c;
	}
	close(fds[0]);
	if (spawned != 0 || number.empty()) {
		if (spawned == 0) {
			kill(pid, SIGTERM);
			waitpid(pid, nullptr, 0);
		}
		error = "No X display: DISPLAY is not set and Xvfb could not be started.";
		return false;
	}
	host.xvfb_pid = pid;
	setenv("DISPLAY", (":" + number).c_str(), 1);
	return true;
}

void StopPrivateDisplay()
{
	if (host.xvfb_pid <= 0)
		return;
	kill(host.xvfb_pid, SIGTERM);
	waitpid(host.xvfb_pid, nullptr, 0);
	host.xvfb_pid = -1;
	unsetenv("DISPLAY");
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
	if ((!display_name || !*display_name) && options.private_display) {
		if (!StartPrivateDisplay(error))
			return false;
		display_name = getenv("DISPLAY");
	}
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
	// The background is drawn at its own size at the canvas origin: it must
	// follow the canvas to fill it.
	FitBackground(video.width, video.height);
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
		host.pattern_item = nullptr;
		host.scene = nullptr;
		host.picture = nullptr;
		host.pattern = nullptr;
		obs_shutdown();
		host.started = false;
	}
	if (host.display) {
		XCloseDisplay(host.display);
		host.display = nullptr;
	}
	StopPrivateDisplay();
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
