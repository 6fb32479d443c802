// The Win32 panel of torvane.dll under Wine, driven through the Tools menu
// entry and window messages against the stub host.
#include "panel_harness.h"

#include <dpapi.h>

#include <fstream>
#include <random>

using namespace panel_testing;
namespace fs = std::filesystem;

namespace {

constexpr COLORREF window_bg = RGB(0x0A, 0x11, 0x1C);
constexpr COLORREF field_bg = RGB(0x0B, 0x15, 0x23);
constexpr COLORREF card_bg = RGB(0x12, 0x1D, 0x2C);
constexpr COLORREF border = RGB(0x28, 0x3A, 0x4F);
constexpr COLORREF highlight = RGB(0x1A, 0x34, 0x4D);
constexpr COLORREF row_border = RGB(0x43, 0x74, 0x9B);
constexpr COLORREF box_border = RGB(0x4B, 0x60, 0x77);
constexpr COLORREF hover = RGB(0x22, 0x39, 0x50);
constexpr COLORREF disabled = RGB(0x15, 0x1F, 0x2B);
constexpr COLORREF accent = RGB(0x84, 0xCC, 0xFF);
constexpr COLORREF muted = RGB(0x92, 0xA5, 0xBC);

[[maybe_unused]] int S(int value, int dpi = 96)
{
	return MulDiv(value, dpi, 96);
}

std::vector<uint8_t> ReadFile(const fs::path &path)
{
	std::ifstream in(path, std::ios::binary);
	return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The settings document inside a saved file, unprotected with this account.
[[maybe_unused]] std::string OpenedDocument(const fs::path &path)
{
	std::vector<uint8_t> bytes = ReadFile(path);
	if (bytes.size() < 5 || std::string(bytes.begin(), bytes.begin() + 4) != "TRV1")
		return "";
	DATA_BLOB sealed = {static_cast<DWORD>(bytes.size() - 4), bytes.data() + 4};
	DATA_BLOB opened = {};
	if (!CryptUnprotectData(&sealed, nullptr, nullptr, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN, &opened))
		return "";
	std::string json(reinterpret_cast<const char *>(opened.pbData), opened.cbData);
	LocalFree(opened.pbData);
	return json;
}

class Win32Panel : public testing::Test {
protected:
	void SetUp() override
	{
		SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
		std::random_device random;
		config = fs::temp_directory_path() / ("torvane-panel-" + std::to_string(random()));
		fs::create_directories(config);
		ASSERT_TRUE(module.Load(config));
		TakeBoxes();
	}

	void TearDown() override
	{
		module.Unload();
		EXPECT_EQ(FindPanel(), nullptr) << "unload leaves no panel window";
		std::error_code ignored;
		fs::remove_all(config, ignored);
	}

	HWND Open()
	{
		module.PickMenuEntry();
		return FindPanel();
	}

	fs::path SettingsFile() const { return config / "settings.dpapi"; }

	fs::path config;
	LoadedModule module;
};

// --- The window ------------------------------------------------------------------

TEST_F(Win32Panel, TheMenuEntryOpensOneCentredWindowAndASecondPickOnlyRaisesIt)
{
	HWND panel = Open();
	ASSERT_NE(panel, nullptr);
	EXPECT_EQ(WindowText(panel), L"Torvane \u2014 Multistream for OBS");
	EXPECT_TRUE(IsWindowVisible(panel));
	const DWORD style = static_cast<DWORD>(GetWindowLongW(panel, GWL_STYLE));
	// Top-level windows always clip their siblings.
	EXPECT_EQ(style & ~(WS_VISIBLE | WS_CLIPSIBLINGS), 0x02CA0000u);
	EXPECT_TRUE(GetWindowLongW(panel, GWL_EXSTYLE) & WS_EX_CONTROLPARENT);

	RECT client = {};
	GetClientRect(panel, &client);
	EXPECT_EQ(client.right, 1000);
	EXPECT_EQ(client.bottom, 748);

	MONITORINFO monitor = {};
	monitor.cbSize = sizeof(monitor);
	GetMonitorInfoW(MonitorFromWindow(nullptr, MONITOR_DEFAULTTOPRIMARY), &monitor);
	RECT frame = {};
	GetWindowRect(panel, &frame);
	const RECT &work = monitor.rcWork;
	EXPECT_LE(std::abs((frame.left - work.left) - (work.right - frame.right)), 1);
	EXPECT_LE(std::abs((frame.top - work.top) - (work.bottom - frame.bottom)), 1);

	// Closing hides; picking the entry again shows the same window.
	SendMessageW(panel, WM_CLOSE, 0, 0);
	Pump();
	EXPECT_FALSE(IsWindowVisible(panel));
	EXPECT_EQ(Open(), panel);
	EXPECT_TRUE(IsWindowVisible(panel));
	ShowWindow(panel, SW_MINIMIZE);
	EXPECT_EQ(Open(), panel);
	EXPECT_FALSE(IsIconic(panel));
	EXPECT_EQ(FindWindowExW(nullptr, panel, L"TorvaneWindow", nullptr), nullptr) << "a second window was made";
}

TEST_F(Win32Panel, PaintsTheLayoutColours)
{
	HWND panel = Open();
	ASSERT_NE(panel, nullptr);
	const Screenshot shot = Capture(panel);
	ASSERT_TRUE(shot.Save(ScreenshotDir() / "panel-96dpi.bmp"));

	EXPECT_EQ(shot.At(5, 5), window_bg);
	EXPECT_EQ(shot.At(25, 515), card_bg) << "destinations card";
	EXPECT_EQ(shot.At(970, 515), card_bg) << "connection card";
	// Wine draws GDI+ paths without anti-aliasing and rounds the half-pixel
	// outline one pixel inwards; Windows puts it on the edge pixel.
	EXPECT_TRUE(shot.At(20, 300) == border || shot.At(21, 300) == border) << "card outline";
	EXPECT_EQ(shot.At(775, 45), highlight) << "header pill";
	EXPECT_EQ(shot.At(362, 200), field_bg) << "field frame";
	EXPECT_TRUE(shot.At(660, 182) == border || shot.At(660, 183) == border) << "field frame outline";
	EXPECT_EQ(shot.At(930, 200), field_bg) << "the name field itself";
	EXPECT_EQ(shot.At(930, 170), card_bg) << "a label";
	EXPECT_EQ(shot.At(30, 700), accent) << "Start all";
	EXPECT_EQ(shot.At(240, 700), disabled) << "Stop all is disabled while idle";
	EXPECT_EQ(shot.At(830, 700), card_bg) << "Save settings";
}

} // namespace
