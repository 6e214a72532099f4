#include "report/SmtpPassword.h"

#include <QByteArray>

#include "base/ScrambleBytes.h"
#include "platform/Exceptions.h"
#include "platform/WipeMemory.h"

namespace orvella {

TSmtpPassword::TSmtpPassword(const char* AStored, uint32_t ASeed) {
  QByteArray::FromBase64Result decoded =
      QByteArray::fromBase64Encoding(QByteArray(AStored), QByteArray::AbortOnBase64DecodingErrors);
  if (!decoded)
    throw EAssertionFailed("The stored mail password is not Base64 text", "uMail");
  QByteArray& bytes = decoded.decoded;
  // Sized once, so that no copy of the password is left behind by a reallocation.
  FText.reserve(static_cast<size_t>(bytes.size()) + 1);
  FText.assign(bytes.cbegin(), bytes.cend());
  FText.push_back('\0');
  platform::WipeMemory(bytes.data(), static_cast<size_t>(bytes.size()));
  ScrambleBytes(FText.data(), FText.size() - 1, ASeed);
}

TSmtpPassword::~TSmtpPassword() { platform::WipeMemory(FText.data(), FText.size()); }

}  // namespace orvella
