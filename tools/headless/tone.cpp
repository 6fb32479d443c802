#include "tools/headless/tone.h"

#include <obs.hpp>
#include <util/platform.h>

#include <atomic>
#include <cmath>
#include <thread>
#include <vector>

namespace torvane::headless {
namespace {

const char *const tone_source_id = "torvane_test_tone";
OBSSourceAutoRelease tone;

// A 440 Hz sine, generated on its own thread in 10 ms blocks stamped with the
// host clock, so that the audio mix sees a live input just like a microphone.
struct ToneSource {
	obs_source_t *source = nullptr;
	std::atomic<bool> running{true};
	std::thread thread;
};

void ToneLoop(ToneSource *tone_source)
{
	constexpr uint32_t rate = 48000;
	constexpr uint32_t block = rate / 100;
	constexpr double step = 2.0 * M_PI * 440.0 / rate;
	std::vector<float> samples(block);
	double phase = 0.0;
	uint64_t timestamp = os_gettime_ns();
	while (tone_source->running.load()) {
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
		obs_source_output_audio(tone_source->source, &audio);
		timestamp += 10000000ULL;
		os_sleepto_ns(timestamp);
	}
}

void *ToneCreate(obs_data_t *, obs_source_t *source)
{
	auto *tone_source = new ToneSource;
	tone_source->source = source;
	tone_source->thread = std::thread(ToneLoop, tone_source);
	return tone_source;
}

void ToneDestroy(void *data)
{
	auto *tone_source = static_cast<ToneSource *>(data);
	tone_source->running.store(false);
	tone_source->thread.join();
	delete tone_source;
}

const char *ToneName(void *)
{
	return "Torvane test tone";
}

} // namespace

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

bool StartTone(std::string &error)
{
	tone = obs_source_create(tone_source_id, "Torvane test tone", nullptr, nullptr);
	if (!tone) {
		error = "The test tone could not be created.";
		return false;
	}
	obs_set_output_source(1, tone);
	return true;
}

void StopTone()
{
	obs_set_output_source(1, nullptr);
	tone = nullptr;
}

} // namespace torvane::headless
