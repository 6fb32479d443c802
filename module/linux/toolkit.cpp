#include "module/toolkit.h"

#include <QObject>
#include <QPointer>
#include <QTimer>

// On Linux the host owns Qt's application object; the panel only creates
// widgets inside it, so there is nothing to start or stop here.
namespace torvane {

const char *const platform_name = "Linux";

namespace {
QPointer<QTimer> ticker;
// On the UI thread from load to unload; calls still queued for it are
// dropped with it.
QObject *later = nullptr;
} // namespace

bool StartToolkit()
{
	later = new QObject();
	return true;
}

void StopToolkit()
{
	delete later;
	later = nullptr;
}

void RunLater(void (*task)(void *), void *data)
{
	QMetaObject::invokeMethod(later, [task, data]() { task(data); }, Qt::QueuedConnection);
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
