#pragma once
// The dialog that asks for the user's name and telephone number before a
// problem report is collected, remembers both for the next time and hands
// them on. There is at most one at a time.
#include <QDialog>
#include <functional>
#include <string>

#include "base/SettingsStore.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace orvella {

// Called with the name first and the telephone number second.
using TSendReportProc = std::function<void(const std::string& AName, const std::string& APhone)>;

class TfrmSendReport : public QDialog {
  Q_OBJECT
public:
  static constexpr int ClientWidth = 291;
  static constexpr int ClientHeight = 259;
  static constexpr int NameLength = 40;
  static constexpr int PhoneLength = 20;

  // Opens the dialog, or brings the open one to the front, and makes AOnSend
  // its callback. ASettings holds "Name" and "Phone"; it must outlive the dialog.
  static TfrmSendReport* Open(const TSendReportProc& AOnSend,
                              const platform::ISettingsHive& ASettings = SettingsKey());
  // The open dialog, if any.
  static TfrmSendReport* Current();

  // Shown and centred on the screen at once; deleted when it closes.
  explicit TfrmSendReport(const platform::ISettingsHive& ASettings);
  ~TfrmSendReport() override;

  QLineEdit* leName;
  QLineEdit* lePhone;
  QLabel* Label1;
  QPushButton* btnSend;

private:
  void SendClick();

  const platform::ISettingsHive& FSettings;
  TSendReportProc FOnSend;
};

}  // namespace orvella
