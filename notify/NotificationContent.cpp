#include "notify/NotificationContent.h"

#include <cstdio>

#include "base/FixedValues.h"
#include "notify/NotificationForm.h"

namespace orvella {

const std::array<TNotificationContent, LogIdCount> NotificationContent = {{
    {"Наблюдается проблема с подключением к локальному роутеру (маршрутизатору). Возможно возникновение "
     "затруднений при работе на удаленном сервере.",
     "/vozmozhnyie-dejstviya-dlya-ustraneniya-problem-svyazi-s-marshrutizatorom.html"},
    {"Наблюдается проблема с Интернет-соединением. Возможно возникновение затруднений при работе на удаленном "
     "сервере.",
     "/vozmozhnyie-dejstviya-dlya-ustraneniya-problem-s-internet-soedineniem.html"},
    {"Наблюдается проблема с подключением к удаленному серверу. Возможно возникновение затруднений при работе на "
     "удаленном сервере. Начинается сбор данных.",
     "/vozmozhnyie-dejstviya-dlya-ustraneniya-problem-s-podklyucheniem-k-udalennomu-serveru.html"},
    {"Наблюдается повышенная загрузка процессора (ЦПУ). Возможно возникновение затруднений при работе на "
     "удаленном сервере",
     "/vozmozhnyie-dejstviya-dlya-ustraneniya-problem-zagruzki-proczessora.html"},
    {"Наблюдается повышенная загрузка оперативной памяти (ОЗУ). Возможно возникновение затруднений при работе на "
     "удаленном сервере",
     "/vozmozhnyie-dejstviya-dlya-ustraneniya-problem-zagruzki-operativnoj-pamyati.html"},
    {"Наблюдается повышенная загрузка системного диска. Возможно возникновение затруднений при работе на "
     "удаленном сервере",
     "/vozmozhnyie-dejstviya-dlya-ustraneniya-problem-zagruzki-sistemnogo-diska.html"},
}};

std::string NotificationCaption(TLogId AId) {
  char caption[64];
  std::snprintf(caption, sizeof caption, "Код ошибки #%.4d", static_cast<int>(AId) + 1);
  return caption;
}

std::string NotificationHelpLink(TLogId AId) {
  return std::string(HelpSiteBase) + NotificationContent[static_cast<size_t>(AId)].HelpPath;
}

void ShowErrorNotifications(TLogIds ALogIds, TLogIds ALogsToMon, const TAddNotification& AAdd) {
  const TLogIds shown = ALogIds & ALogsToMon;
  for (const TLogId id : AllLogIds) {
    if (shown.Contains(id))
      AAdd(NotificationCaption(id), NotificationContent[static_cast<size_t>(id)].Text, NotificationLinkText,
           NotificationHelpLink(id), static_cast<int32_t>(id), NotificationInterval, TProc());
  }
}

void ShowErrorNotifications(TLogIds ALogIds, TLogIds ALogsToMon) {
  ShowErrorNotifications(ALogIds, ALogsToMon, &TfrmNotification::Add);
}

}  // namespace orvella
