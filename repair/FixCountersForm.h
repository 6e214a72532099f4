#pragma once
// The counter repair window: the only window of the repair run mode. It logs
// the worker's steps, refuses to close while the worker runs and closes by
// itself when no step failed.
#include <QWidget>
#include <memory>
#include <string>
#include <vector>

#include "repair/FixCountersWorker.h"

class QPlainTextEdit;
class QPushButton;

namespace orvella {

class TfrmFixCounters : public QWidget {
  Q_OBJECT

public:
  // AArguments: the command line as the worker takes it. The window shows at once.
  explicit TfrmFixCounters(std::vector<std::string> AArguments,
                           platform::IPerfServices& AServices = platform::SystemPerfServices(),
                           TProcessRunner ARunProcess = RunProcess);
  ~TfrmFixCounters() override;

  void AddLog(const std::string& AText, bool AError);

protected:
  void closeEvent(QCloseEvent* AEvent) override;

private:
  void FormCreate(std::vector<std::string> AArguments, platform::IPerfServices& AServices,
                  TProcessRunner ARunProcess);
  void Finish(const std::exception_ptr& AError);
  void btnCloseClick();

  QPlainTextEdit* mmLog;
  QPushButton* btnClose;
  bool FError = false;
  std::unique_ptr<TFixCountersWorker> FWorker;
};

}  // namespace orvella
