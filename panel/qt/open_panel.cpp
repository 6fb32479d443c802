// The Tools menu entry and the host's events on Linux: one Qt panel window,
// owned by OBS's main window, created on first use and then only shown.
#include "panel/panel.h"

#include "panel/qt/panel_window.h"

#include <obs-frontend-api.h>
#include <obs.h>

#include <QGuiApplication>
#include <QPointer>
#include <QScreen>

namespace torvane {

namespace {

QPointer<PanelWindow> panel_window;

bool HostVideoInfo(obs_video_info *info)
{
	return obs_get_video_info(info);
}

} // namespace

void OpenControlPanel(void *)
{
	EnsureSettingsLoaded();

	if (!panel_window) {
		auto *main = static_cast<QWidget *>(obs_frontend_get_main_window());
		QScreen *screen = main && main->screen() ? main->screen() : QGuiApplication::primaryScreen();
		// Qt lays out in device-independent pixels and applies the screen's
		// pixel ratio itself, so the host's DPI is its logical DPI.
		const uint32_t host_dpi = screen ? static_cast<uint32_t>(qRound(screen->logicalDotsPerInch())) : 96;
		const QRect work = screen ? screen->availableGeometry() : QRect(0, 0, 1920, 1040);
		const uint32_t dpi = ChoosePanelDpi(host_dpi, work.width(), work.height());

		panel_window = new PanelWindow(main, dpi, panel_state, settings_store, engine, HostVideoInfo);
		const QSize size = panel_window->frameSize();
		panel_window->move(work.left() + (work.width() - size.width()) / 2,
				   work.top() + (work.height() - size.height()) / 2);
	}

	panel_window->showNormal();
	panel_window->raise();
	panel_window->activateWindow();

	if (!settings_store.usable)
		ReportError(panel_window->Behaviour(), settings_store.load_error);
}

void ShowStreamsStoppedByHost()
{
	if (panel_window)
		OnStreamsStoppedByHost(panel_window->Behaviour());
}

void DestroyControlPanel()
{
	DestroyPanelWindow(panel_window.data());
}

void ReleasePanelResources() {}

} // namespace torvane
