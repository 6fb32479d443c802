// On Linux the host owns Qt's application object; the module only creates
// objects inside it: a timer for the tick and a receiver for later tasks.
#include "module/toolkit.h"

#include <QObject>
#include <QTimer>

namespace torvane {

const char *const platform_name = "Linux";

// On the UI thread from load to unload; calls still queued for `later` are
// dropped with it.
struct Toolkit {
	QObject later;
	QTimer ticker;
};

void ToolkitStop::operator()(Toolkit *toolkit) const
{
	delete toolkit;
}

ToolkitHandle StartToolkit()
{
	return ToolkitHandle(new Toolkit);
}

void RunLater(Toolkit &toolkit, void (*task)(void *), void *data)
{
	QMetaObject::invokeMethod(&toolkit.later, [task, data]() { task(data); }, Qt::QueuedConnection);
}

void StartTicker(Toolkit &toolkit, void (*tick)(void *), void *data)
{
	StopTicker(toolkit);
	QObject::connect(&toolkit.ticker, &QTimer::timeout, &toolkit.later, [tick, data]() { tick(data); });
	toolkit.ticker.start(1000);
}

void StopTicker(Toolkit &toolkit)
{
	toolkit.ticker.stop();
	QObject::disconnect(&toolkit.ticker, nullptr, nullptr, nullptr);
}

} // namespace torvane
