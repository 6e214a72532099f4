#include "base/GuiQueue.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

#include "base/ExceptionReport.h"

namespace orvella {

void QueueToGuiThread(std::function<void()> AWork) {
  QMetaObject::invokeMethod(
      QCoreApplication::instance(), [work = std::move(AWork)] { RunGuarded(work); }, Qt::QueuedConnection);
}

bool OnGuiThread() {
  const QCoreApplication* application = QCoreApplication::instance();
  return application != nullptr && QThread::currentThread() == application->thread();
}

}  // namespace orvella
