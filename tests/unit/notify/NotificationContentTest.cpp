#include "notify/NotificationContent.h"

#include <gtest/gtest.h>

#include <vector>

#include "base/FixedValues.h"

namespace orvella {
namespace {

struct TPosted {
  std::string Caption, Text, LinkText, Link;
  int32_t Id;
  int32_t Interval;
  bool HasCallback;
};

std::vector<TPosted> Post(TLogIds AReported, TLogIds AEnabled) {
  std::vector<TPosted> posted;
  ShowErrorNotifications(AReported, AEnabled,
                         [&](const std::string& ACaption, const std::string& AText, const std::string& ALinkText,
                             const std::string& ALink, int32_t AId, int32_t AInterval, const TProc& AOnLink) {
                           posted.push_back({ACaption, AText, ALinkText, ALink, AId, AInterval, bool(AOnLink)});
                         });
  return posted;
}

const TLogIds All{TLogId::gateway, TLogId::google, TLogId::rdp, TLogId::cpu, TLogId::ram, TLogId::disk};

// What the customer reads and where the link leads, written out here rather
// than taken from the product's table, so that a changed word shows.
struct TQuoted {
  const char* Caption;
  const char* Text;
  const char* HelpPath;
};
const TQuoted Quoted[LogIdCount] = {
    {"Код ошибки #0001",
     "Наблюдается проблема с подключением к локальному роутеру (маршрутизатору). Возможно возникновение затруднений "
     "при работе на удаленном сервере.",
     "/vozmozhnyie-dejstviya-dlya-ustraneniya-problem-svyazi-s-marshrutizatorom.html"},
    {"Код ошибки #0002",
     "Наблюдается проблема с Интернет-соединением. Возможно возникновение затруднений при работе на удаленном "
     "сервере.",
     "/vozmozhnyie-dejstviya-dlya-ustraneniya-problem-s-internet-soedineniem.html"},
    {"Код ошибки #0003",
     "Наблюдается проблема с подключением к удаленному серверу. Возможно возникновение затруднений при работе на "
     "удаленном сервере. Начинается сбор данных.",
     "/vozmozhnyie-dejstviya-dlya-ustraneniya-problem-s-podklyucheniem-k-udalennomu-serveru.html"},
    {"Код ошибки #0004",
     "Наблюдается повышенная загрузка процессора (ЦПУ). Возможно возникновение затруднений при работе на удаленном "
     "сервере",
     "/vozmozhnyie-dejstviya-dlya-ustraneniya-problem-zagruzki-proczessora.html"},
    {"Код ошибки #0005",
     "Наблюдается повышенная загрузка оперативной памяти (ОЗУ). Возможно возникновение затруднений при работе на "
     "удаленном сервере",
     "/vozmozhnyie-dejstviya-dlya-ustraneniya-problem-zagruzki-operativnoj-pamyati.html"},
    {"Код ошибки #0006",
     "Наблюдается повышенная загрузка системного диска. Возможно возникновение затруднений при работе на удаленном "
     "сервере",
     "/vozmozhnyie-dejstviya-dlya-ustraneniya-problem-zagruzki-sistemnogo-diska.html"},
};

TEST(NotificationContent, CaptionsLinksAndTexts) {
  EXPECT_EQ(NotificationCaption(TLogId::gateway), "Код ошибки #0001");
  EXPECT_EQ(NotificationCaption(TLogId::disk), "Код ошибки #0006");
  EXPECT_EQ(NotificationHelpLink(TLogId::cpu),
            std::string(HelpSiteBase) + "/vozmozhnyie-dejstviya-dlya-ustraneniya-problem-zagruzki-proczessora.html");
  for (const TLogId id : AllLogIds) {
    const std::string link = NotificationHelpLink(id);
    EXPECT_EQ(link.find(HelpSiteBase), 0u);
    EXPECT_EQ(link[std::string(HelpSiteBase).size()], '/');
    EXPECT_EQ(link.substr(link.size() - 5), ".html");
  }
  EXPECT_STREQ(NotificationLinkText, "Возможные действия\r\nдля устранения проблемы");
}

TEST(NotificationContent, EveryRowSaysWhatTheCustomerIsToRead) {
  for (const TLogId id : AllLogIds) {
    const TQuoted& quoted = Quoted[static_cast<size_t>(id)];
    EXPECT_EQ(NotificationCaption(id), quoted.Caption);
    EXPECT_STREQ(NotificationContent[static_cast<size_t>(id)].Text, quoted.Text);
    EXPECT_EQ(NotificationHelpLink(id), std::string(HelpSiteBase) + quoted.HelpPath);
  }
}

TEST(ShowErrorNotifications, PostsReportedAndEnabledKindsInOrdinalOrder) {
  EXPECT_TRUE(Post({}, All).empty());
  EXPECT_TRUE(Post({TLogId::cpu}, All & TLogIds{TLogId::ram}).empty());

  const std::vector<TPosted> posted =
      Post({TLogId::rdp, TLogId::gateway, TLogId::disk}, All & TLogIds{TLogId::gateway, TLogId::rdp, TLogId::cpu});
  ASSERT_EQ(posted.size(), 2u);
  EXPECT_EQ(posted[0].Caption, "Код ошибки #0001");
  EXPECT_EQ(posted[0].Id, 0);
  EXPECT_EQ(posted[1].Caption, "Код ошибки #0003");
  EXPECT_EQ(posted[1].Id, 2);
  for (const TPosted& post : posted) {
    EXPECT_EQ(post.Text, Quoted[post.Id].Text);
    EXPECT_EQ(post.LinkText, "Возможные действия\r\nдля устранения проблемы");
    EXPECT_EQ(post.Link, std::string(HelpSiteBase) + Quoted[post.Id].HelpPath);
    EXPECT_EQ(post.Interval, 5000);
    EXPECT_FALSE(post.HasCallback);
  }
}

}  // namespace
}  // namespace orvella
