#pragma once

// Pages the panel opens in the user's browser.
namespace torvane {

// YouTube Help: create a live stream with an encoder (stream key, server).
inline constexpr const char *guide_youtube_url = "https://support.google.com/youtube/answer/2907883";
// Twitch Help: the stream key questions and answers.
inline constexpr const char *guide_twitch_url = "https://help.twitch.tv/s/article/twitch-stream-key-faq";
// Kick Help Center: how to stream on Kick.
inline constexpr const char *guide_kick_url = "https://help.kick.com/en/articles/7066931-how-to-stream-on-kick";
// Patreon Help Center: going live on Patreon through OBS.
inline constexpr const char *guide_patreon_url =
	"https://support.patreon.com/hc/en-us/search?utf8=%E2%9C%93&query=go+live+OBS";
// OBS Studio knowledge base: stream connection troubleshooting.
inline constexpr const char *guide_default_url =
	"https://obsproject.com/kb/dropped-frames-and-general-connection-issues";
// The maker's donation page.
inline constexpr const char *donation_url = "https://buymeacoffee.com/torvane";

} // namespace torvane
