#pragma once
// The settings dialog, the application's main form: the client number and
// one switch per monitor, held by the tray module. Closing it only hides it.
#include <QString>
#include <QWidget>
#include <functional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace orvella {

class TdmMonApp;

class TfrmSettings : public QWidget {
  Q_OBJECT
public:
  static constexpr int ClientWidth = 305;
  static constexpr int ClientHeight = 261;
  static constexpr int ClientIdMaxLength = 30;
  static constexpr const char* ClientIdWarning = "Убедитесь что номер клиента введен без ошибок";

  using TShowWarning = std::function<void(QWidget* AParent, const QString& AText)>;
  // A warning message box with a single OK button.
  static void WarningBox(QWidget* AParent, const QString& AText);

  explicit TfrmSettings(TdmMonApp& AApp, TShowWarning AShowWarning = WarningBox);

  // Loads the controls from the tray module.
  void FormShow();
  void btnOkClick();
  void btnCancelClick() { close(); }

protected:
  void showEvent(QShowEvent* AEvent) override;
  void closeEvent(QCloseEvent* AEvent) override;

private:
  // Every way of closing ends here; the window decides itself whether it hides.
  void FormClose();

  TdmMonApp& FApp;
  const TShowWarning FShowWarning;
  // True only while the OK button's click is handled.
  bool FOkPressed = false;
  bool FCentred = false;

  QLabel* Label1;
  QLineEdit* edClientId;
  QLabel* Label2;
  QCheckBox* cbGateway;
  QCheckBox* cnDns;
  QCheckBox* cbRdp;
  QCheckBox* cbCpu;
  QCheckBox* cbRam;
  QCheckBox* cbDisk;
  QPushButton* btnOk;
  QPushButton* btnCancel;
};

}  // namespace orvella
