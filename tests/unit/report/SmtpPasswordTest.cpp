#include "report/SmtpPassword.h"

#include <gtest/gtest.h>

#include <cstring>

#include "platform/Exceptions.h"

namespace orvella {
namespace {

// Stored texts and their passwords worked out by hand apart from this code, so
// that a change in the scrambler or in the decoding cannot pass unseen: the
// development builds' account ("9OjpyvQSvUBB", seed 20261209), and a password
// of Cyrillic letters, read back as UTF-8.
TEST(SmtpPassword, StoredTextsDecodeToTheirPasswords) {
  EXPECT_STREQ(TSmtpPassword("9OjpyvQSvUBB", 20261209).Text(), "example.9");
  EXPECT_STREQ(TSmtpPassword("DAwkq2j4XHknf+YVuMI=", 0xCAFEBABE).Text(),
               "\xd0\x9f\xd0\xb0\xd1\x80\xd0\xbe\xd0\xbb\xd1\x8c-1");
  if (std::strcmp(SmtpPasswordStored, "9OjpyvQSvUBB") == 0 && SmtpPasswordSeed == 20261209) {
    EXPECT_STREQ(TSmtpPassword().Text(), "example.9");
  }
}

TEST(SmtpPassword, TextThatIsNoBase64IsRefused) { EXPECT_THROW(TSmtpPassword("not base64!", 1), EAssertionFailed); }

}  // namespace
}  // namespace orvella
