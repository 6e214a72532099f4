#include "report/SendReportForm.h"

#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <algorithm>

#include "base/ExceptionReport.h"
#include "base/UiFont.h"

namespace orvella {
namespace {

// The module's one dialog; cleared when it is destroyed.
TfrmSendReport* frmSendReport = nullptr;

// Leading and trailing blanks and control characters go.
std::string Trimmed(const std::string& AText) {
  const auto blank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
  size_t start = 0;
  size_t end = AText.size();
  while (start < end && blank(AText[start]))
    ++start;
  while (end > start && blank(AText[end - 1]))
    --end;
  return AText.substr(start, end - start);
}

// A stored value that cannot be read is an empty field, never a message.
QString StoredText(const char* AName, const platform::ISettingsHive& ASettings) {
  try {
    return QString::fromStdString(Trimmed(ReadRegString(AName, ASettings)));
  } catch (...) {
    return {};
  }
}

// A one-line edit with its label 3 pixels above it.
QLineEdit* LabelledEdit(QWidget* AParent, const char* AName, const QString& ALabel, const QRect& ABounds,
                        int AMaxLength) {
  auto* edit = new QLineEdit(AParent);
  edit->setObjectName(QString::fromLatin1(AName));
  edit->setGeometry(ABounds);
  edit->setMaxLength(AMaxLength);
  auto* label = new QLabel(ALabel, AParent);
  label->setObjectName(QString::fromLatin1(AName) + QStringLiteral("Label"));
  label->setGeometry(ABounds.left(), ABounds.top() - 16, ABounds.width(), 13);
  label->setBuddy(edit);
  return edit;
}

}  // namespace

TfrmSendReport* TfrmSendReport::Open(const TSendReportProc& AOnSend, const platform::ISettingsHive& ASettings) {
  if (!frmSendReport)
    frmSendReport = new TfrmSendReport(ASettings);
  frmSendReport->FOnSend = AOnSend;
  frmSendReport->raise();
  frmSendReport->activateWindow();
  return frmSendReport;
}

TfrmSendReport* TfrmSendReport::Current() { return frmSendReport; }

TfrmSendReport::TfrmSendReport(const platform::ISettingsHive& ASettings)
    : QDialog(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                           Qt::WindowStaysOnTopHint),
      FSettings(ASettings) {
  setAttribute(Qt::WA_DeleteOnClose);
  // Closing the dialog never ends the application.
  setAttribute(Qt::WA_QuitOnClose, false);
  setWindowTitle(QStringLiteral("Форма отправки данных"));
  setFont(UiFont(8));
  setFixedSize(ClientWidth, ClientHeight);

  leName = LabelledEdit(this, "leName", QStringLiteral("Ваше имя"), QRect(32, 32, 233, 21), NameLength);
  lePhone =
      LabelledEdit(this, "lePhone", QStringLiteral("Контактный номер телефона"), QRect(32, 88, 233, 21), PhoneLength);
  Label1 = new QLabel(QStringLiteral("Указанные вами данные будут использованы для связи с вами технических "
                                     "специалистов для устранения проблемы"),
                      this);
  Label1->setObjectName(QStringLiteral("Label1"));
  Label1->setGeometry(32, 136, 233, 49);
  Label1->setWordWrap(true);
  Label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  btnSend = new QPushButton(QStringLiteral("Отправить"), this);
  btnSend->setObjectName(QStringLiteral("btnSend"));
  btnSend->setGeometry(190, 216, 75, 25);
  // Where the face drawn is wider than the one the layout was made for (Wine's
  // Tahoma), the note wraps into more lines and grows down towards the button
  // rather than losing its last line; where it fits, the laid-out height stays.
  if (const int needed = Label1->heightForWidth(Label1->width()); needed > Label1->height())
    Label1->resize(Label1->width(), std::min(needed, btnSend->y() - Label1->y()));
  // Enter in a field does not send: only the button does.
  btnSend->setAutoDefault(false);
  setTabOrder(leName, lePhone);
  setTabOrder(lePhone, btnSend);

  leName->setText(StoredText("Name", FSettings));
  lePhone->setText(StoredText("Phone", FSettings));
  connect(btnSend, &QPushButton::clicked, this, [this] { RunGuarded([this] { SendClick(); }); });
  // A closed dialog only waits for its deletion: the next request makes a fresh one.
  connect(this, &QDialog::finished, this, [this] {
    if (frmSendReport == this)
      frmSendReport = nullptr;
  });

  if (const QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->geometry().center() - QPoint(ClientWidth / 2, ClientHeight / 2));
  show();
}

TfrmSendReport::~TfrmSendReport() {
  if (frmSendReport == this)
    frmSendReport = nullptr;
}

void TfrmSendReport::SendClick() {
  const std::string name = leName->text().toStdString();
  const std::string phone = lePhone->text().toStdString();
  const TSendReportProc onSend = FOnSend;
  // Deleted once this click has been handled.
  close();
  try {
    WriteRegString("Name", name, FSettings);
    WriteRegString("Phone", phone, FSettings);
  } catch (...) {
    // The stored values stay as they were; the report goes on.
  }
  if (onSend)
    onSend(name, phone);
}

}  // namespace orvella
