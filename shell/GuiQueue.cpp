#include "shell/GuiQueue.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

#include "shell/ExceptionReport.h"

namespace orvella {

void QueueToGuiThread(std::function<void()> AWork) {
  QMetaObject::invokeMethod(
      QCoreApplication::instance(),
      [work = std::move(AWork)] {
        // Nothing may unwind through Qt's event loop.
        try {
          work();
        } catch (...) {
          ShowExceptionReport(std::current_exception());
        }
      },
      Qt::QueuedConnection);
}

bool OnGuiThread() {
  const QCoreApplication* application = QCoreApplication::instance();
  return application != nullptr && QThread::currentThread() == application->thread();
}

}  // namespace orvella
