#pragma once
// What each problem notification says, and the posting of one notification
// per reported problem kind.
#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "engine/LogIds.h"
#include "notify/Proc.h"

namespace orvella {

struct TNotificationContent {
  const char* Text;
  // Appended to HelpSiteBase.
  const char* HelpPath;
};

// One row per monitor kind, by ordinal.
extern const std::array<TNotificationContent, LogIdCount> NotificationContent;

// The same for every row: two lines.
inline constexpr const char* NotificationLinkText = "Возможные действия\r\nдля устранения проблемы";
// Every problem notification closes this long after it is shown or refreshed.
inline constexpr int32_t NotificationInterval = 5000;

// "Код ошибки #0001" for gateway: the error number is the ordinal plus one.
std::string NotificationCaption(TLogId AId);
// HelpSiteBase followed by the row's path.
std::string NotificationHelpLink(TLogId AId);

// The signature of TfrmNotification::Add.
using TAddNotification =
    std::function<void(const std::string& ACaption, const std::string& AText, const std::string& ALinkText,
                       const std::string& ALink, int32_t AId, int32_t AInterval, const TProc& AOnLink)>;

// Posts one notification per kind that is both reported and switched on, in
// ascending ordinal order, so the lowest ordinal ends up lowest on the screen.
void ShowErrorNotifications(TLogIds ALogIds, TLogIds ALogsToMon, const TAddNotification& AAdd);
// The same, posted to the notification windows.
void ShowErrorNotifications(TLogIds ALogIds, TLogIds ALogsToMon);

}  // namespace orvella
