#pragma once
// The mail account's password in plain text, rebuilt from its stored form only
// for as long as this object lives; its bytes are wiped when it goes.
#include <cstdint>
#include <vector>

#include "base/FixedValues.h"

namespace orvella {

class TSmtpPassword {
public:
  // AStored is the Base64 text of the scrambled password, ASeed the seed that
  // unscrambles it.
  explicit TSmtpPassword(const char* AStored = SmtpPasswordStored, uint32_t ASeed = SmtpPasswordSeed);
  ~TSmtpPassword();
  TSmtpPassword(const TSmtpPassword&) = delete;
  TSmtpPassword& operator=(const TSmtpPassword&) = delete;

  // UTF-8, null-terminated.
  const char* Text() const { return FText.data(); }

private:
  std::vector<char> FText;
};

}  // namespace orvella
