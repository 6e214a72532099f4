#include "repair/FixCountersForm.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>

#include "base/UiFont.h"

namespace orvella {

namespace {

// A fixed dialog border and, while the work runs, no title-bar buttons at all.
constexpr Qt::WindowFlags WorkingFlags = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
constexpr Qt::WindowFlags DoneFlags = WorkingFlags | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;

}  // namespace

TfrmFixCounters::TfrmFixCounters(std::vector<std::string> AArguments, platform::IPerfServices& AServices,
                                 TProcessRunner ARunProcess)
    : QWidget(nullptr, WorkingFlags) {
  setWindowTitle(QStringLiteral("Настройка счетчиков"));
  setFont(UiFont(8));
  setFixedSize(405, 226);

  mmLog = new QPlainTextEdit(this);
  mmLog->setObjectName(QStringLiteral("mmLog"));
  mmLog->setGeometry(0, 0, 405, 188);
  mmLog->setReadOnly(true);
  mmLog->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  mmLog->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

  btnClose = new QPushButton(QStringLiteral("Закрыть"), this);
  btnClose->setObjectName(QStringLiteral("btnClose"));
  btnClose->setGeometry(170, 195, 75, 25);
  btnClose->setEnabled(false);
  connect(btnClose, &QPushButton::clicked, this, [this] { btnCloseClick(); });

  if (const QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - rect().center());
  show();
  FormCreate(std::move(AArguments), AServices, std::move(ARunProcess));
}

// The worker's last closures may still be queued: they find the window gone.
TfrmFixCounters::~TfrmFixCounters() = default;

void TfrmFixCounters::FormCreate(std::vector<std::string> AArguments, platform::IPerfServices& AServices,
                                 TProcessRunner ARunProcess) {
  const QPointer<TfrmFixCounters> self(this);
  FWorker = std::make_unique<TFixCountersWorker>(
      std::move(AArguments),
      [self](const std::string& AText, bool AError) {
        if (self)
          self->AddLog(AText, AError);
      },
      [self](const std::exception_ptr& AError) {
        if (self)
          self->Finish(AError);
      },
      AServices, std::move(ARunProcess));
  FWorker->Start();
}

void TfrmFixCounters::AddLog(const std::string& AText, bool AError) {
  FError = FError || AError;
  // An entry may hold a line break of its own, shown as two lines.
  QString text = QString::fromStdString(AText);
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  mmLog->appendPlainText(text);
}

void TfrmFixCounters::Finish(const std::exception_ptr& AError) {
  if (AError) {
    const TExceptionDescription description = DescribeException(AError);
    AddLog("Exception " + description.ClassName, true);
    if (description.HasMessage)
      AddLog(description.Message, true);
  }
  btnClose->setEnabled(true);
  // Changing the flags hides a shown window; it comes back with its close button.
  const bool visible = isVisible();
  setWindowFlags(DoneFlags);
  if (visible)
    show();
  if (!FError)
    close();
}

void TfrmFixCounters::closeEvent(QCloseEvent* AEvent) {
  if (btnClose->isEnabled())
    AEvent->accept();
  else
    AEvent->ignore();
}

void TfrmFixCounters::btnCloseClick() { close(); }

}  // namespace orvella
