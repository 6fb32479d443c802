#include "tests/engine/obs_host.h"
#include "tests/engine/streams.h"

#include <obs-nix-platform.h>

#include <X11/Xlib.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

namespace torvane::test {

namespace {

Display *display = nullptr;
std::filesystem::path config_dir;
HostVideo current_video;
HostAudio current_audio;

bool SameVideo(const HostVideo &a, const HostVideo &b)
{
	return a.width == b.width && a.height == b.height && a.fps_num == b.fps_num && a.fps_den == b.fps_den &&
	       a.format == b.format && a.colorspace == b.colorspace;
}

int ApplyVideo(const HostVideo &video)
{
	obs_video_info info = {};
	info.graphics_module = "libobs-opengl";
	info.fps_num = video.fps_num;
	info.fps_den = video.fps_den;
	info.base_width = video.width;
	info.base_height = video.height;
	info.output_width = video.width;
	info.output_height = video.height;
	info.output_format = video.format;
	info.adapter = 0;
	info.gpu_conversion = true;
	info.colorspace = video.colorspace;
	info.range = VIDEO_RANGE_PARTIAL;
	info.scale_type = OBS_SCALE_BICUBIC;

	// Encoders released by the previous test may still be winding down on
	// their own threads for a moment.
	int result = OBS_VIDEO_FAIL;
	WaitFor([&] { return (result = obs_reset_video(&info)) != OBS_VIDEO_CURRENTLY_ACTIVE; });
	return result;
}

bool ApplyAudio(const HostAudio &audio)
{
	obs_audio_info info = {};
	info.samples_per_sec = audio.samples_per_sec;
	info.speakers = audio.speakers;
	bool ok = false;
	WaitFor([&] { return ok = obs_reset_audio(&info); });
	return ok;
}

bool LoadModule(const char *name)
{
	const std::string binary = std::string(TORVANE_OBS_PLUGIN_DIR "/") + name + ".so";
	const std::string data = std::string(TORVANE_OBS_PLUGIN_DATA_DIR "/") + name;
	obs_module_t *module = nullptr;
	if (obs_open_module(&module, binary.c_str(), data.c_str()) != MODULE_SUCCESS)
		return false;
	return obs_init_module(module);
}

// libobs logs a great deal; only its warnings and errors help when a test fails.
void QuietLog(int level, const char *format, va_list args, void *)
{
	if (level > LOG_WARNING)
		return;
	std::vfprintf(stderr, format, args);
	std::fputc('\n', stderr);
}

class ObsHostEnvironment : public testing::Environment {
public:
	void SetUp() override
	{
		base_set_log_handler(QuietLog, nullptr);

		display = XOpenDisplay(nullptr);
		ASSERT_NE(display, nullptr) << "no X display; run the tests through run-headless.sh";
		obs_set_nix_platform(OBS_NIX_PLATFORM_X11_EGL);
		obs_set_nix_platform_display(display);

		char pattern[] = "/tmp/torvane-engine-tests-XXXXXX";
		ASSERT_NE(mkdtemp(pattern), nullptr);
		config_dir = pattern;
		ASSERT_TRUE(obs_startup("en-US", config_dir.c_str(), nullptr));

		ASSERT_TRUE(ApplyAudio(current_audio));
		ASSERT_EQ(ApplyVideo(current_video), OBS_VIDEO_SUCCESS);
		for (const char *name : HostModules())
			ASSERT_TRUE(LoadModule(name)) << name;
		obs_post_load_modules();
	}

	void TearDown() override
	{
		obs_shutdown();
		if (display)
			XCloseDisplay(display);
		std::error_code ignored;
		std::filesystem::remove_all(config_dir, ignored);
	}
};

} // namespace

void ResetHostVideo(const HostVideo &video)
{
	if (SameVideo(video, current_video))
		return;
	ASSERT_EQ(ApplyVideo(video), OBS_VIDEO_SUCCESS);
	current_video = video;
}

void ResetHostAudio(const HostAudio &audio)
{
	if (audio.samples_per_sec == current_audio.samples_per_sec && audio.speakers == current_audio.speakers)
		return;
	ASSERT_TRUE(ApplyAudio(audio));
	current_audio = audio;
}

void ObsHostTest::SetUp()
{
	ResetHostVideo(HostVideo());
	ResetHostAudio(HostAudio());
}

bool WaitFor(const std::function<bool()> &done, std::chrono::milliseconds timeout)
{
	const auto deadline = std::chrono::steady_clock::now() + timeout;
	while (!done()) {
		if (std::chrono::steady_clock::now() > deadline)
			return false;
		std::this_thread::sleep_for(std::chrono::milliseconds(5));
	}
	return true;
}

static void Emit(obs_output_t *output, const char *signal, const long long *code)
{
	std::thread thread([=] {
		calldata_t data = {};
		calldata_set_ptr(&data, "output", output);
		if (code)
			calldata_set_int(&data, "code", *code);
		signal_handler_signal(obs_output_get_signal_handler(output), signal, &data);
		calldata_free(&data);
	});
	thread.join();
}

void EmitFromOtherThread(obs_output_t *output, const char *signal)
{
	Emit(output, signal, nullptr);
}

void EmitFromOtherThread(obs_output_t *output, const char *signal, long long code)
{
	Emit(output, signal, &code);
}

bool WaitForState(const MultistreamEngine &multistream, uint64_t index, DestinationState state)
{
	return WaitFor([&] { return multistream.GetStats(index).state == uint32_t(state); });
}

bool Settle(const MultistreamEngine &multistream)
{
	return WaitFor([&] {
		for (const auto &run : multistream.runs) {
			if (run->state.load() == uint32_t(DestinationState::Connecting))
				return false;
		}
		return true;
	});
}

int ClosedLoopbackPort()
{
	const int fd = socket(AF_INET, SOCK_STREAM, 0);
	sockaddr_in address = {};
	address.sin_family = AF_INET;
	address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
	socklen_t length = sizeof(address);
	int port = 0;
	if (fd >= 0 && bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof(address)) == 0 &&
	    getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) == 0)
		port = ntohs(address.sin_port);
	if (fd >= 0)
		close(fd);
	return port;
}

} // namespace torvane::test

int main(int argc, char **argv)
{
	testing::InitGoogleTest(&argc, argv);
	testing::AddGlobalTestEnvironment(new torvane::test::ObsHostEnvironment);
	return RUN_ALL_TESTS();
}
