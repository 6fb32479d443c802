// The Tools menu entry and the host's events on Linux: one Qt panel window,
// owned by OBS's main window, created on first use and then only shown.
#include "panel/panel.h"

#include "panel/qt/panel_window.h"

#include <obs-frontend-api.h>

#include <QGuiApplication>
#include <QScreen>

namespace torvane {

ControlPanel::ControlPanel(Controller &control) : controller(control), window(std::make_unique<PanelWindowSlot>()) {}

ControlPanel::~ControlPanel()
{
	DestroyControlPanel(*this);
}

void OpenControlPanel(void *private_data)
{
	ControlPanel &panel = *static_cast<ControlPanel *>(private_data);
	LoadSettings(panel.controller);

	QPointer<PanelWindow> &window = panel.window->window;
	if (!window) {
		auto *main = static_cast<QWidget *>(obs_frontend_get_main_window());
		QScreen *screen = main && main->screen() ? main->screen() : QGuiApplication::primaryScreen();
		// Qt lays out in device-independent pixels and applies the screen's
		// pixel ratio itself, so the host's DPI is its logical DPI.
		const uint32_t host_dpi = screen ? static_cast<uint32_t>(qRound(screen->logicalDotsPerInch())) : 96;
		const QRect work = screen ? screen->availableGeometry() : QRect(0, 0, 1920, 1040);
		const uint32_t dpi = ChoosePanelDpi(host_dpi, work.width(), work.height());

		window = new PanelWindow(main, dpi, panel.state, panel.controller);
		const QSize size = window->frameSize();
		window->move(work.left() + (work.width() - size.width()) / 2,
			     work.top() + (work.height() - size.height()) / 2);
	}

	window->showNormal();
	window->raise();
	window->activateWindow();
	OnPanelOpened(window->Behaviour());
}

Panel *ShownPanel(ControlPanel &panel)
{
	return panel.window->window ? &panel.window->window->Behaviour() : nullptr;
}

void RefreshShownPanel(ControlPanel &panel)
{
	if (Panel *shown = ShownPanel(panel))
		AfterCommand(*shown);
}

void DestroyControlPanel(ControlPanel &panel)
{
	DestroyPanelWindow(panel.window->window.data());
}

} // namespace torvane
