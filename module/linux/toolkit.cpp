#include "module/toolkit.h"

#include "panel/qt/panel_window.h"

#include <QTimer>

// On Linux the host owns Qt's application object; the panel only creates
// widgets inside it, so there is nothing to start or stop here.
namespace torvane {

PanelWindowSlot panel_window_slot;

const char *const platform_name = "Linux";

bool StartToolkit()
{
	return true;
}

void StopToolkit() {}

namespace {
QPointer<QTimer> ticker;
}

void StartTicker(void (*tick)())
{
	StopTicker();
	ticker = new QTimer();
	QObject::connect(ticker, &QTimer::timeout, tick);
	ticker->start(1000);
}

void StopTicker()
{
	delete ticker.data();
}

} // namespace torvane
