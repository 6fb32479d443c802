// Starting and stopping one destination while the others go on: what a
// single start refuses, how it joins a running encode and what it replaces.
// Real servers are the end-to-end tests' part.
#include "engine/engine.h"
#include "settings/validation.h"
#include "tests/support/destinations.h"
#include "tests/support/host.h"
#include "tests/support/system.h"

#include <obs.hpp>

#include <chrono>
#include <thread>

using namespace torvane;
using namespace torvane::test;

namespace {

// OBS's connect thread reports a failure and only then detaches itself, and
// releasing an output joins that thread while it connects: an output released
// in between is joined and detached at once, which ThreadSanitizer stops on.
// So no output is released before its attempt is over, and not at once.
bool Settled(const MultistreamEngine &multistream, uint64_t index)
{
	const bool failed = WaitFor([&] { return multistream.GetStats(index).state == DestinationState::Failed; });
	std::this_thread::sleep_for(std::chrono::milliseconds(100));
	return failed;
}

} // namespace

using DestinationControl = ObsHostTest;

TEST_F(DestinationControl, RefusesWhatAStartWouldAndADestinationThatIsBusy)
{
	const int port = FreePort();
	PanelSettings settings = Quality(720, 30);
	settings.destinations = {Loopback("one", port), Loopback("two", port), Loopback("same", port),
				 Loopback("off", port, false)};
	settings.destinations[2].key = settings.destinations[0].key;
	settings.destinations[1].key.clear();

	MultistreamEngine multistream;
	std::string error;
	EXPECT_FALSE(multistream.StartDestination(settings, 4, error));
	EXPECT_EQ(error, "Destination 5 is not in the list.");
	// Numbered by list position, although the first one is not started.
	EXPECT_FALSE(multistream.StartDestination(settings, 1, error));
	EXPECT_EQ(error, "Destination 2: enter a stream key.");
	EXPECT_TRUE(multistream.runs.empty());

	ASSERT_TRUE(multistream.StartDestination(settings, 0, error)) << error;
	ASSERT_TRUE(Settled(multistream, 0));
	Emit(multistream.runs[0]->output, "start");
	obs_output_t *first = multistream.runs[0]->output;
	error.clear();
	EXPECT_FALSE(multistream.StartDestination(settings, 0, error));
	EXPECT_FALSE(error.empty());
	// A stream already carries this server and key.
	EXPECT_FALSE(multistream.StartDestination(settings, 2, error));
	EXPECT_EQ(error, "Destination 3: this server and key are already enabled in another destination.");
	// Unticked, or with a quality a start refuses.
	EXPECT_FALSE(multistream.StartDestination(settings, 3, error));
	settings.bitrate = 9000;
	settings.destinations[1].key = "key-two";
	EXPECT_FALSE(multistream.StartDestination(settings, 1, error));
	EXPECT_EQ(error, ValidateQuality(settings));
	ASSERT_EQ(multistream.runs.size(), 1u);
	EXPECT_EQ(multistream.runs[0]->output, first);
	EXPECT_EQ(multistream.GetStats(0).state, DestinationState::Sending);
	EXPECT_FALSE(multistream.StopDestination(1));
	EXPECT_FALSE(multistream.runs[0]->stop_requested);
}

TEST_F(DestinationControl, JoinsTheRunningEncodeAndReplacesOnlyItsOwnRecord)
{
	const int port = FreePort();
	PanelSettings settings = Quality(720, 30);
	settings.destinations = {Loopback("one", port), Loopback("two", port), Loopback("three", port)};
	MultistreamEngine multistream;
	std::string error;

	ASSERT_TRUE(multistream.StartAll(settings, error)) << error;
	ASSERT_TRUE(Settled(multistream, 0) && Settled(multistream, 1) && Settled(multistream, 2));
	// Nothing runs: a single start makes new encoders and releases the outputs
	// of the last run, whose failures stay on show.
	OBSWeakEncoderAutoRelease old_encoder = obs_encoder_get_weak_encoder(multistream.video_encoder);
	OBSWeakOutputAutoRelease old_output = obs_output_get_weak_output(multistream.runs[0]->output);
	ASSERT_TRUE(multistream.StartDestination(settings, 2, error)) << error;
	ASSERT_EQ(multistream.runs.size(), 3u);
	OBSEncoderAutoRelease old_left = obs_weak_encoder_get_encoder(old_encoder);
	OBSOutputAutoRelease old_output_left = obs_weak_output_get_output(old_output);
	EXPECT_EQ(old_left.Get(), nullptr);
	EXPECT_EQ(old_output_left.Get(), nullptr);
	EXPECT_EQ(TextOf(multistream, 0) + " / " + TextOf(multistream, 1), "Failed: connection / Failed: connection");
	ASSERT_TRUE(Settled(multistream, 2));

	// Destination 3 streams: 1 joins its encoders and takes its own record's
	// place. Stopping and starting one beside the others is the end-to-end
	// tests' part.
	Emit(multistream.runs[2]->output, "start");
	obs_encoder_t *encoder = multistream.video_encoder;
	ASSERT_TRUE(multistream.StartDestination(settings, 0, error)) << error;
	ASSERT_EQ(multistream.runs.size(), 3u);
	EXPECT_EQ(multistream.runs[0]->destination_index, 0u);
	EXPECT_EQ(multistream.video_encoder.Get(), encoder);
	EXPECT_EQ(obs_output_get_video_encoder(multistream.runs[0]->output), encoder);
	EXPECT_EQ(obs_output_get_audio_encoder(multistream.runs[0]->output, 0), multistream.audio_encoder.Get());
	EXPECT_EQ(multistream.GetStats(2).state, DestinationState::Sending);
	EXPECT_EQ(TextOf(multistream, 1), "Failed: connection");
	ASSERT_TRUE(Settled(multistream, 0));
}

TEST_F(DestinationControl, EveryStateChangeIsJournaledInOrderAndFollowsItsDestination)
{
	const int port = FreePort();
	PanelSettings settings = Pair(port);
	settings.destinations.push_back(Loopback("three", port));
	MultistreamEngine multistream;
	std::string error;
	// A retry that fails again, a short outage, then a stop.
	for (int attempt = 0; attempt < 2; attempt++) {
		ASSERT_TRUE(multistream.StartDestination(settings, 2, error)) << error;
		ASSERT_TRUE(Settled(multistream, 2));
	}
	for (const char *signal : {"start", "reconnect", "reconnect_success"})
		Emit(multistream.runs[0]->output, signal);
	ASSERT_TRUE(multistream.StopDestination(2));
	ASSERT_TRUE(WaitFor([&] { return TextOf(multistream, 2) == "Ready"; }));

	// Still reported once the records are gone, under the destination's new
	// position.
	multistream.StopAndRelease();
	multistream.RemoveDestination(0);
	std::string changes;
	uint64_t sequence = 0;
	for (const StateChange &change : multistream.TakeStateChanges()) {
		changes += std::to_string(change.destination_index) + " " +
			   DestinationStateText(change.state, change.last_code) + ", ";
		EXPECT_GT(change.sequence, sequence); // in the order they were stored
		sequence = change.sequence;
	}
	EXPECT_EQ(changes, "1 Connecting..., 1 Failed: connection, 1 Connecting..., 1 Failed: connection, 1 Sending, "
			   "1 Reconnecting..., 1 Sending, 1 Stopping..., 1 Ready, ");
	EXPECT_TRUE(multistream.TakeStateChanges().empty());
}

TEST_F(DestinationControl, KickCannotJoinAnEncodeMadeWithoutItsSettings)
{
	const int port = FreePort();
	PanelSettings settings = Pair(port);
	settings.destinations[1].platform = "Kick";
	settings.destinations[1].enabled = false;
	MultistreamEngine multistream;
	std::string error;
	ASSERT_TRUE(multistream.StartDestination(settings, 0, error)) << error;
	ASSERT_TRUE(Settled(multistream, 0));
	Emit(multistream.runs[0]->output, "start");
	settings.destinations[1].enabled = true; // ticked during the run
	EXPECT_FALSE(multistream.StartDestination(settings, 1, error));
	EXPECT_EQ(error, "Kick needs its own encoder settings. Stop every destination, then start again.");
	EXPECT_EQ(multistream.runs.size(), 1u);
}
