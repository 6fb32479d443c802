#pragma once

// Ingest hosts of the platforms whose servers the default destinations and the
// Kick completion fill in.
namespace torvane {

// YouTube's RTMPS ingest; the preset is rtmps://a.rtmps.youtube.com:443/live2.
inline constexpr const char *youtube_ingest_host = "a.rtmps.youtube.com";

// Twitch's global ingest from its current ingest documentation. It routes each
// broadcaster to the nearest ingest point, and it is the host Twitch documents
// today for new setups, where live.twitch.tv is only kept for older ones.
inline constexpr const char *twitch_ingest_host = "ingest.global-contribute.live-video.net";

// Kick's dashboard shows ingest hosts as one label under this domain, for
// example rtmps://fa723fc1b171.global-contribute.live-video.net.
inline constexpr const char *kick_ingest_domain = "global-contribute.live-video.net";

} // namespace torvane
