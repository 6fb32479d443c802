#pragma once

#include "settings/model.h"

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

// The video encoders a quality may name, as this OBS offers them. What is
// registered depends on the OBS version and on the hardware found at run time,
// so nothing here is a fixed list.
namespace torvane {

// A video encoder OBS can stream over RTMP.
struct EncoderOption {
	std::string id;    // OBS's id, e.g. "obs_x264"
	std::string name;  // OBS's display name, e.g. "x264"
	std::string codec; // "h264", "hevc" or "av1"
};

// The video encoders this OBS has that its RTMP output can send, found as OBS's
// own settings find them: video encoders that are neither deprecated nor
// internal, in the order OBS registered them.
std::vector<EncoderOption> VideoEncoderOptions();

// What an encoder choice comes to in this OBS.
struct ResolvedEncoder {
	std::string id; // empty: this OBS has no such encoder for RTMP
	std::string codec;
	bool fell_back = false; // the hardware choice found no hardware H.264 encoder and took x264
};
ResolvedEncoder ResolveEncoder(const std::string &choice);

// The name the panel shows for a choice: OBS's display name, the hardware
// choice's own name, or the id itself when this OBS lacks it.
std::string EncoderChoiceName(const std::string &choice);

// Checks the encoder of every destination `included` names: this OBS must have
// it and be able to send its codec over RTMP, and the destination's platform
// must take that codec. The sentence for the first that fails, or an empty text.
std::string CheckEncoderChoices(const PanelSettings &settings, const std::function<bool(size_t)> &included);

} // namespace torvane
