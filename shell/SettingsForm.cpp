#include "shell/SettingsForm.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QStyle>
#include <algorithm>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <utility>

#include "base/ExceptionReport.h"
#include "base/FixedValues.h"
#include "base/UiFont.h"
#include "shell/MonApp.h"

namespace orvella {
namespace {

template <typename T>
T* Control(QWidget* AParent, const char* AName, int ALeft, int ATop, int AWidth, int AHeight,
           const QString& AText = {}) {
  auto* control = new T(AText, AParent);
  control->setObjectName(QString::fromLatin1(AName));
  control->setGeometry(ALeft, ATop, AWidth, AHeight);
  return control;
}

// Blanks and control characters count as nothing at either end.
bool IsBlank(QChar AChar) {
  return AChar.unicode() <= 0x20 || AChar.category() == QChar::Other_Control || AChar.isSpace();
}

QString Trimmed(const QString& AText) {
  qsizetype first = 0;
  qsizetype last = AText.size();
  while (first < last && IsBlank(AText[first]))
    ++first;
  while (last > first && IsBlank(AText[last - 1]))
    --last;
  return AText.mid(first, last - first);
}

}  // namespace

void TfrmSettings::WarningBox(QWidget* AParent, const QString& AText) {
  QMessageBox::warning(AParent, QString::fromUtf8(ApplicationTitle), AText, QMessageBox::Ok);
}

TfrmSettings::TfrmSettings(TdmMonApp& AApp, TShowWarning AShowWarning)
    : QWidget(nullptr, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      FApp(AApp), FShowWarning(std::move(AShowWarning)) {
  setObjectName(QStringLiteral("frmSettings"));
  setWindowTitle(QString::fromUtf8("Настройки"));
  setFixedSize(ClientWidth, ClientHeight);
  setFont(UiFont(8));
  setWindowIcon(TdmMonApp::ApplicationIcon());

  Label1 = Control<QLabel>(this, "Label1", 32, 22, 76, 13, QString::fromUtf8("Номер клиента"));
  edClientId = Control<QLineEdit>(this, "edClientId", 117, 19, 72, 21);
  edClientId->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  edClientId->setMaxLength(ClientIdMaxLength);
  // The suffix right after the number, so the two read as one host name.
  Label2 = Control<QLabel>(this, "Label2", 192, 22, 81, 13, QString::fromUtf8(ServerDomainSuffix));
  // Labels take the width of their text, however long the suffix is.
  Label1->adjustSize();
  Label2->adjustSize();
  cbGateway = Control<QCheckBox>(this, "cbGateway", 32, 59, 177, 17, QString::fromUtf8("Мониторинг маршуртизатора"));
  cnDns = Control<QCheckBox>(this, "cnDns", 32, 82, 214, 17, QString::fromUtf8("Мониторинг Интернет-подключения"));
  cbRdp = Control<QCheckBox>(this, "cbRdp", 32, 105, 214, 17, QString::fromUtf8("Мониторинг подключения к серверу"));
  cbCpu = Control<QCheckBox>(this, "cbCpu", 32, 128, 193, 17, QString::fromUtf8("Мониторинг загрузки процессора"));
  cbRam = Control<QCheckBox>(this, "cbRam", 32, 151, 241, 17,
                             QString::fromUtf8("Мониторинг загрузки оперативной памяти"));
  cbDisk =
      Control<QCheckBox>(this, "cbDisk", 32, 174, 225, 17, QString::fromUtf8("Мониторинг загрузки системного диска"));
  // Where the face drawn is wider than the one the layout was made for (Wine's
  // Tahoma), a switch's text grows to the right up to the dialog's edge rather
  // than being cut off; where it fits, the laid-out width stays.
  for (QCheckBox* box : {cbGateway, cnDns, cbRdp, cbCpu, cbRam, cbDisk}) {
    const int needed = style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, box) +
                       style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, box) +
                       box->fontMetrics().horizontalAdvance(box->text()) + 2;
    if (needed > box->width())
      box->resize(std::min(needed, width() - box->x()), box->height());
  }
  btnOk = Control<QPushButton>(this, "btnOk", 64, 214, 75, 25, QStringLiteral("OK"));
  btnCancel = Control<QPushButton>(this, "btnCancel", 171, 214, 75, 25, QString::fromUtf8("Отмена"));
  // Neither button is the default or the cancel button: Enter and Escape do nothing of their own.
  for (QPushButton* button : {btnOk, btnCancel}) {
    button->setAutoDefault(false);
    button->setDefault(false);
  }
  connect(btnOk, &QPushButton::clicked, this, [this] { RunGuarded([this] { btnOkClick(); }); });
  connect(btnCancel, &QPushButton::clicked, this, [this] { RunGuarded([this] { btnCancelClick(); }); });

  // Tab order: btnOk, edClientId, btnCancel, then the switches with cbDisk before cbRam.
  QWidget* const order[] = {btnOk, edClientId, btnCancel, cbGateway, cnDns, cbRdp, cbCpu, cbDisk, cbRam};
  for (size_t i = 1; i < std::size(order); ++i)
    setTabOrder(order[i - 1], order[i]);
  btnOk->setFocus();
}

void TfrmSettings::FormShow() {
  edClientId->setText(QString::fromStdString(FApp.ClientId()));
  cbGateway->setChecked(FApp.GetMonitor(TLogId::gateway));
  cnDns->setChecked(FApp.GetMonitor(TLogId::google));
  cbRdp->setChecked(FApp.GetMonitor(TLogId::rdp));
  cbCpu->setChecked(FApp.GetMonitor(TLogId::cpu));
  cbDisk->setChecked(FApp.GetMonitor(TLogId::disk));
  cbRam->setChecked(FApp.GetMonitor(TLogId::ram));
}

void TfrmSettings::btnOkClick() {
  struct TPressed {
    bool& Flag;
    explicit TPressed(bool& AFlag) : Flag(AFlag) { Flag = true; }
    ~TPressed() { Flag = false; }
  } pressed(FOkPressed);
  close();
}

void TfrmSettings::showEvent(QShowEvent* AEvent) {
  QWidget::showEvent(AEvent);
  if (AEvent->spontaneous())
    return;
  if (!FCentred) {
    FCentred = true;
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
      QRect frame = frameGeometry();
      frame.moveCenter(screen->availableGeometry().center());
      move(frame.topLeft());
    }
  }
  RunGuarded([this] { FormShow(); });
}

void TfrmSettings::closeEvent(QCloseEvent* AEvent) {
  // The window decides for itself: it is never closed by the framework.
  AEvent->ignore();
  RunGuarded([this] { FormClose(); });
}

void TfrmSettings::FormClose() {
  if (FApp.Terminating()) {
    hide();
    return;
  }
  if (FOkPressed)
    edClientId->setText(Trimmed(edClientId->text()));
  else
    FormShow();
  const std::string clientId = edClientId->text().toStdString();
  if (!TdmMonApp::ValidateClientId(clientId)) {
    FShowWarning(this, QString::fromUtf8(ClientIdWarning));
    return;
  }
  hide();
  FApp.SetClientId(clientId);
  FApp.SetMonitor(TLogId::gateway, cbGateway->isChecked());
  FApp.SetMonitor(TLogId::google, cnDns->isChecked());
  FApp.SetMonitor(TLogId::rdp, cbRdp->isChecked());
  FApp.SetMonitor(TLogId::cpu, cbCpu->isChecked());
  FApp.SetMonitor(TLogId::disk, cbDisk->isChecked());
  FApp.SetMonitor(TLogId::ram, cbRam->isChecked());
}

}  // namespace orvella
