// The Tools menu entry and the host's events on Linux: one Qt panel window,
// owned by OBS's main window, created on first use and then only shown.
#include "panel/panel.h"

#include "panel/qt/panel_window.h"

#include <obs-frontend-api.h>
#include <obs.h>

#include <QGuiApplication>
#include <QScreen>

namespace torvane {

namespace {

bool HostVideoInfo(obs_video_info *info)
{
	return obs_get_video_info(info);
}

} // namespace

void OpenControlPanel(void *private_data)
{
	ControlPanel &panel = *static_cast<ControlPanel *>(private_data);
	EnsureSettingsLoaded(panel.store, panel.settings_path);

	QPointer<PanelWindow> &window = panel.window.window;
	if (!window) {
		auto *main = static_cast<QWidget *>(obs_frontend_get_main_window());
		QScreen *screen = main && main->screen() ? main->screen() : QGuiApplication::primaryScreen();
		// Qt lays out in device-independent pixels and applies the screen's
		// pixel ratio itself, so the host's DPI is its logical DPI.
		const uint32_t host_dpi = screen ? static_cast<uint32_t>(qRound(screen->logicalDotsPerInch())) : 96;
		const QRect work = screen ? screen->availableGeometry() : QRect(0, 0, 1920, 1040);
		const uint32_t dpi = ChoosePanelDpi(host_dpi, work.width(), work.height());

		window = new PanelWindow(main, dpi, panel.state, panel.store, panel.engine, HostVideoInfo);
		const QSize size = window->frameSize();
		window->move(work.left() + (work.width() - size.width()) / 2,
			     work.top() + (work.height() - size.height()) / 2);
	}

	window->showNormal();
	window->raise();
	window->activateWindow();

	if (!panel.store.usable)
		ReportError(window->Behaviour(), panel.store.load_error);
}

void ShowStreamsStoppedByHost(ControlPanel &panel)
{
	if (panel.window.window)
		OnStreamsStoppedByHost(panel.window.window->Behaviour());
}

Panel *ShownPanel(ControlPanel &panel)
{
	return panel.window.window ? &panel.window.window->Behaviour() : nullptr;
}

void DestroyControlPanel(ControlPanel &panel)
{
	DestroyPanelWindow(panel.window.window.data());
}

void ReleasePanelResources(ControlPanel &) {}

} // namespace torvane
