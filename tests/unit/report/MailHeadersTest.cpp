#include "report/MailHeaders.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QList>
#include <clocale>

#include "report/MailTls.h"

namespace orvella {
namespace {

TEST(MailHeaders, DatesAreEnglishWhateverTheLocale) {
  std::setlocale(LC_ALL, "ru_RU.UTF-8");
  EXPECT_EQ(MailDate(1796818208), "Wed, 09 Dec 2026 12:10:08 +0000");
  EXPECT_EQ(MailDate(951782400), "Tue, 29 Feb 2000 00:00:00 +0000");
  std::setlocale(LC_ALL, "C");
}

TEST(MailHeaders, LongTextsBecomeSeveralWordsCutBetweenCharacters) {
  EXPECT_EQ(EncodedWords("Отчет Orvella"), "=?UTF-8?B?0J7RgtGH0LXRgiBPcnZlbGxh?=");
  std::string text;
  for (int i = 0; i < 30; ++i)
    text += "Ж";  // two bytes each
  text += "x";
  QByteArray joined;
  for (const QByteArray& word : QByteArray::fromStdString(EncodedWords(text)).split(' ')) {
    EXPECT_LE(word.size(), 75);
    ASSERT_TRUE(word.startsWith("=?UTF-8?B?") && word.endsWith("?="));
    const QByteArray bytes = QByteArray::fromBase64(word.mid(10, word.size() - 12));
    // Every word holds whole characters: it is valid UTF-8 on its own.
    EXPECT_TRUE(QString::fromUtf8(bytes).toUtf8() == bytes);
    joined += bytes;
  }
  EXPECT_EQ(joined.toStdString(), text);
}

TEST(MailTls, ThisSystemsMailLibraryCanSendOverTls) { EXPECT_NO_THROW(CheckMailTls()); }

}  // namespace
}  // namespace orvella
