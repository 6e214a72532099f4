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
    EXPECT_EQ(post.Text, NotificationContent[static_cast<size_t>(post.Id)].Text);
    EXPECT_EQ(post.LinkText, NotificationLinkText);
    EXPECT_EQ(post.Link, NotificationHelpLink(static_cast<TLogId>(post.Id)));
    EXPECT_EQ(post.Interval, 5000);
    EXPECT_FALSE(post.HasCallback);
  }
}

}  // namespace
}  // namespace orvella
