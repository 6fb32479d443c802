#pragma once

#include <initializer_list>
#include <string>

// Every text the user sees, by its key in data/locale/en-US.ini, with its
// English. The .ini is written from this table (build target `locale`) and a
// test fails when the two differ. Numbers and names go in as %1, %2...
// clang-format off
#define TORVANE_TEXTS(X) \
	X(ToolsMenuEntry, "Torvane \xE2\x80\x94 Multistream") \
	X(PanelTitle, "Torvane \xE2\x80\x94 Multistream for OBS") \
	X(ModuleDescription, "Local RTMP multistreaming without subscriptions.") \
	X(HotkeyStartAll, "Torvane: Start all") \
	X(HotkeyStopAll, "Torvane: Stop all") \
	X(Tagline, "Your stream. Every audience.") \
	X(VersionBadge, "LOCAL MULTISTREAM  /  %1 BETA") \
	X(Destinations, "Destinations") \
	X(DestinationsHint, "Check a box to include a destination.") \
	X(Connection, "Connection") \
	X(CustomAuthentication, "CUSTOM SERVER AUTHENTICATION (OPTIONAL)") \
	X(AuthenticationHint, "Platform stream keys are enough. Leave server authentication blank unless required.") \
	X(StreamQuality, "Stream quality") \
	X(SharedQuality, "Shared across all\ndestinations") \
	X(Resolution, "RESOLUTION") \
	X(FrameRate, "FRAME RATE") \
	X(BitrateKbps, "BITRATE \xC2\xB7 KBPS") \
	X(UploadBudget, "UPLOAD BUDGET") \
	X(EncoderCaption, "ENCODER") \
	X(HardwareH264, "Hardware H.264 when available") \
	X(OwnQuality, "Own quality") \
	X(QualityShort, "%1p%2 \xC2\xB7 %3 kbps") \
	X(SameAsObs, "Same as OBS's stream") \
	X(ObsStreamNotLive, "Start OBS's own stream first: a destination sharing its encoder sends only while it is live.") \
	X(ObsStreamMultitrack, "OBS's stream uses Enhanced Broadcasting, which has no single encoder to share: choose a quality of its own for this destination.") \
	X(ActualOutputObs, "Actual output: %1 \xC3\x97 %2 / %3 fps  \xC2\xB7  OBS's own encode") \
	X(ObsOutputUnknown, "Same as OBS's stream: its size and rate show while it is live.") \
	X(CustomServer, "This server") \
	X(PictureCaption, "Picture") \
	X(PictureProgram, "Program") \
	X(PictureScene, "Scene: %1") \
	X(PictureVertical, "Vertical 9:16") \
	X(PictureVerticalScene, "Vertical 9:16: %1") \
	X(PictureVerticalShort, "9:16") \
	X(PictureUpdated, "Picture updated. Save settings to keep it.") \
	X(ClosingKeepsStreams, "Closing this panel keeps streams running. Use Stop all to end them.") \
	X(CoffeeLink, "Buy me a coffee \xE2\x86\x97") \
	X(FollowObs, "Go live with OBS's Start Streaming") \
	X(AddCustom, "+ Custom") \
	X(Remove, "Remove") \
	X(SetupGuide, "Setup guide \xE2\x86\x97") \
	X(DestinationName, "Destination name") \
	X(ServerUrl, "Server URL") \
	X(StreamKey, "Stream key") \
	X(Show, "Show") \
	X(Hide, "Hide") \
	X(Ok, "OK") \
	X(Cancel, "Cancel") \
	X(Username, "Username") \
	X(Password, "Password") \
	X(Quality720p, "720p") \
	X(Quality1080p, "1080p") \
	X(Rate30, "30 fps") \
	X(Rate60, "60 fps") \
	X(StartAll, "Start all") \
	X(StopAll, "Stop all") \
	X(SaveSettings, "Save settings") \
	X(Coffee, "Buy me a coffee (opens browser)") \
	X(HintPatreon, "Use a fresh URL + key for each Patreon Live. Connect here, then click Start Live on Patreon.") \
	X(HintKick, "Paste Kick's dashboard URL as-is. Missing :443/app is added automatically.") \
	X(HintYouTube, "Get your stream key from YouTube Live Control Room. Set the broadcast visibility there.") \
	X(HintTwitch, "Use your Primary Stream Key from Twitch. A standard ingest server is already filled in.") \
	X(HintCustom, "Paste the server URL and key from your streaming provider.") \
	X(HintSrt, "SRT: the stream key is the stream id and the password the passphrase (10 to 79 characters). Leave the username blank.") \
	X(HintRist, "RIST: the stream key is the encryption secret; the username and password authenticate when the receiver asks for them.") \
	X(UrlSecretsMoved, "The stream id and passphrase were moved from the server URL into their own fields.") \
	X(Welcome, "Add your keys, choose destinations, and you're ready.") \
	X(HostStopped, "Streams stopped: OBS is closing or changing profile / scenes.") \
	X(ObsStreamEnded, "OBS's own stream ended without a stop. Torvane's destinations keep sending.") \
	X(RemoveQuestion, "Remove this destination and its saved credentials?") \
	X(Started, "Sending your OBS program. Confirm each platform's preview.") \
	X(Stopping, "Stopping all Torvane destinations...") \
	X(EnterBitrate, "Enter a video bitrate between %1 and %2 kbps.") \
	X(SavedKick, "Saved. Kick URL completed automatically with :443/app.") \
	X(Saved, "Saved. Your credentials are encrypted on this PC.") \
	X(AtMostDestinations, "You can add at most %1 destinations.") \
	X(QualityUpdated, "Quality updated. Save settings to keep this preset.") \
	X(KickCompleted, "Kick URL completed automatically with port 443 and /app.") \
	X(Dropped, "%1 \xC2\xB7 %2 dropped") \
	X(NotIncluded, "Not included") \
	X(EnabledReady, "%1 enabled  \xC2\xB7  Ready") \
	X(SendingCount, "%1 / %2 sending") \
	X(EncodingSummary, "H.264 + AAC  \xC2\xB7  CBR  \xC2\xB7  %1-second keyframes") \
	X(FullHdHint, "For full 1080p, set OBS Settings \xE2\x86\x92 Video \xE2\x86\x92 Output resolution to 1920 \xC3\x97 1080.") \
	X(ActualOutput, "Actual output: %1 \xC3\x97 %2 / %3 fps  \xC2\xB7  H.264 + AAC") \
	X(ActualOutputCodec, "Actual output: %1 \xC3\x97 %2 / %3 fps  \xC2\xB7  %4 + AAC") \
	X(CodecHevc, "HEVC") \
	X(CodecAv1, "AV1") \
	X(Mbps, "%1 Mbps") \
	X(Kbps, "%1 kbps") \
	X(NextAttempt, "attempt %1 of %2 \xC2\xB7 next in %3 s") \
	X(RowStart, "Start") \
	X(RowStop, "Stop") \
	X(RowRetry, "Retry") \
	X(StateConnecting, "Connecting...") \
	X(StateSending, "Sending") \
	X(StateReconnecting, "Reconnecting...") \
	X(StateStopping, "Stopping...") \
	X(StateBadUrl, "Failed: server URL") \
	X(StateConnectFailed, "Failed: connection") \
	X(StateBadKey, "Failed: stream key") \
	X(StateDisconnected, "Disconnected") \
	X(StateEncoderFailed, "Failed: encoder") \
	X(StateFailed, "Failed: check settings") \
	X(StateReady, "Ready") \
	X(FailedBecause, "%1 (%2)") \
	X(VideoNotReady, "OBS video and audio must be initialized first.") \
	X(KickAudio, "Kick needs stereo audio at %1 kHz or lower. Set this in OBS Settings > Audio, then try again.") \
	X(SdrOnly, "Use an SDR OBS video profile (Rec. 709) for this H.264 multistream.") \
	X(NoEncoders, "OBS x264 or AAC encoder is unavailable. Install the standard OBS Studio distribution.") \
	X(NoRtmp, "OBS RTMP modules are unavailable.") \
	X(NoMpegTs, "OBS's SRT and RIST output (obs-ffmpeg) is unavailable.") \
	X(NothingStarted, "No destination could start. Check OBS video/audio settings and the destination status.") \
	X(CodecNotTaken, "Destination %1: %2 takes H.264 only. Choose an H.264 encoder for it.") \
	X(CodecNotSent, "Destination %1: OBS cannot send %2 over RTMP. Choose another encoder.") \
	X(CodecNotInMpegTs, "Destination %1: SRT and RIST carry H.264 or HEVC, not %2. Choose another encoder.") \
	X(ObsStreamNotMpegTs, "Destination %1: an SRT or RIST server needs headers that OBS's stream's encoder may not repeat. Choose a quality of its own for it.") \
	X(EncoderMissing, "Destination %1: this OBS has no encoder \"%2\". Choose another encoder.") \
	X(ObsStreamPicture, "Destination %1: \"Same as OBS's stream\" sends OBS's program. Choose the program as its picture, or a quality of its own.") \
	X(SceneMissing, "Destination %1: there is no scene \"%2\" in this scene collection. Choose another picture.") \
	X(HardwareFallback, "No hardware H.264 encoder was found, so x264 encodes instead.") \
	X(StillRunning, "A stream is still running or stopping.") \
	X(NotInList, "Destination %1 is not in the list.") \
	X(KickEncoder, "Kick needs its own encoder settings. Stop every destination, then start again.") \
	X(NotStreaming, "The destination at index %1 is not streaming.") \
	X(NeedsIndex, "%1 needs \"index\", a whole number: the destination's place in the list, from 0.") \
	X(NoDestinationAt, "There is no destination at index %1; the list holds %2.") \
	X(NoSuchRequest, "Torvane has no request named \"%1\".") \
	X(RequestInFrame, "%1 cannot run inside a SerialFrame request batch, which holds up OBS's rendering. Send it on its own or in a SerialRealtime batch.") \
	X(RequestNotTaken, "%1 was not carried out: OBS's main thread did not take it within %2 seconds.") \
	X(RequestUnfinished, "%1 did not finish within %2 seconds; GetStatus tells how it ended.") \
	X(RequestAtExit, "%1 was not carried out: OBS is closing.") \
	X(EnterName, "enter a name.") \
	X(EnterServer, "enter a valid rtmp:// or rtmps:// server URL with its app path. Keep the key in its own field.") \
	X(EnterMpegTsServer, "enter a valid srt:// or rist:// server URL: host, port and options. Keep the stream id and passphrase in their own fields.") \
	X(PortMissing, "add the port to the server URL, as in srt://host:9000.") \
	X(PassphraseLength, "an SRT passphrase must be %1 to %2 characters.") \
	X(EnterKey, "enter a stream key.") \
	X(KeyWhitespace, "the stream key contains whitespace. Paste it again.") \
	X(OnlyKey, "paste only the stream key into the key field.") \
	X(PasswordNeedsUser, "a server password requires a username.") \
	X(DuplicateDestination, "this server and key are already enabled in another destination.") \
	X(BitrateRange, "Video bitrate must be between %1 and %2 kbps.") \
	X(ChooseHeight, "Choose %1p or %2p output.") \
	X(ChooseRate, "Choose a frame-rate limit of %1 or %2 fps.") \
	X(ChooseEncoder, "Choose a video encoder.") \
	X(DestinationProblem, "Destination %1: %2") \
	X(RelayThrough, "Relay through my server") \
	X(RelayIngest, "Relay ingest URL\xE2\x80\xA6") \
	X(RelayKey, "Relay key\xE2\x80\xA6") \
	X(RelayKeySet, "Relay key (set)\xE2\x80\xA6") \
	X(RelayExport, "Export relay configuration\xE2\x80\xA6") \
	X(RelayExported, "Relay configuration written to %1, readable only by you: it holds your stream keys.") \
	X(RelayExportFailed, "The relay configuration could not be written to %1.") \
	X(RelayNeedsIngest, "Enter the relay's ingest URL as rtmp://your-server:1935/application.") \
	X(RelayKeyRule, "Enter a relay key of 12 to 128 letters, digits, '-', '_' or '.'.") \
	X(RelayOwnQuality, "it has a quality of its own, and the relay sends only the shared quality. Give it the shared quality or turn the relay off.") \
	X(RelayPicture, "it has a picture of its own, and the relay sends only the program. Choose the program or turn the relay off.") \
	X(RelaySameAsObs, "it sends OBS's own stream, which the relay does not carry. Give it the shared quality or turn the relay off.") \
	X(RelayNotRtmp, "the relay pushes only to rtmp:// and rtmps:// servers with an application. Turn the relay off to send it.") \
	X(RelaySignIn, "the relay cannot sign in with a user name and password. Turn the relay off to send it.") \
	X(RelayUnsafe, "its server or key holds a space, quote, brace, ';', '$', '#' or backslash, which the relay configuration cannot hold.") \
	X(RelayOneAtATime, "While the relay is on, destinations start and stop together with Start all and Stop all.") \
	X(RelaySent, "Sent by the relay") \
	X(RelaySending, "Sending through the relay") \
	X(RelayConnecting, "The relay is connecting to it") \
	X(RelayHeader, "Relay: %1 of %2 sending") \
	X(RelayUploadOnly, "Relay: one upload sending") \
	X(EnableOne, "Enable at least one destination using its checkbox.") \
	X(FileUnreadable, "The settings file is unreadable. It has been left untouched.") \
	X(FileInvalid, "The settings file is invalid. It has been left untouched.") \
	X(NoSettingsFolder, "OBS did not provide a settings directory.") \
	X(SaveFailed, "Could not save encrypted settings. Check the configuration folder permissions.") \
	X(TooMany, "Nothing was saved: a settings file holds at most %1 destinations.") \
	X(TooLarge, "Nothing was saved: the settings would exceed the %1 MiB a settings file may hold.") \
	X(UnsupportedVersion, "Unsupported settings version. The file has been left untouched.") \
	X(InvalidSettings, "Invalid settings. The file has been left untouched.") \
	X(KeyringUnlockFailed, "The system keyring could not unlock these settings. Use the account that saved them. The file has been left untouched.") \
	X(KeyringProtectFailed, "The system keyring could not encrypt the settings. Nothing was saved.") \
	X(WindowsUnlockFailed, "Windows could not unlock these settings. Use the Windows account that saved them. The file has been left untouched.") \
	X(WindowsProtectFailed, "Windows could not encrypt the settings. Nothing was saved.")
// clang-format on

namespace torvane {

enum class Txt {
#define TORVANE_TEXT_ID(key, english) key,
	TORVANE_TEXTS(TORVANE_TEXT_ID)
#undef TORVANE_TEXT_ID
		none, // no text: an empty one
};

// The text in the user's language: from the lookup the module installs, else
// the English (tools and tests, or no data folder beside the module).
const char *Tr(Txt id);
std::u16string Tr16(Txt id);
// With %1, %2... replaced by `values`.
std::string Tr(Txt id, std::initializer_list<std::string> values);

// OBS's lookup of the module's locale files; false when it has no such key.
using TextLookup = bool (*)(const char *key, const char **text);
void SetTextLookup(TextLookup lookup);

// data/locale/en-US.ini as this table makes it.
std::string EnglishLocaleFile();

} // namespace torvane
