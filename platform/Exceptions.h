#pragma once
// The exception family of the system. Every class knows its own class name,
// because sampling failures are logged as "<class name>: <message>".
#include <stdexcept>
#include <string>

namespace orvella {

// The ordinary exception family: what a monitor turns into an error sample.
class Exception : public std::runtime_error {
public:
  explicit Exception(const std::string& AMessage) : std::runtime_error(AMessage) {}
  virtual const char* ClassName() const { return "Exception"; }
};

// A failed platform call: the platform's error code and the system's text.
class EOSError : public Exception {
public:
  EOSError(int ACode, const std::string& AMessage) : Exception(AMessage), FErrorCode(ACode) {}
  const char* ClassName() const override { return "EOSError"; }
  int ErrorCode() const { return FErrorCode; }

private:
  int FErrorCode;
};

// Abandons work silently: callers that expect it drop the work without a report.
class EAbort : public Exception {
public:
  explicit EAbort(const std::string& AMessage = "Operation aborted") : Exception(AMessage) {}
  const char* ClassName() const override { return "EAbort"; }
};

// A broken contract between units (wrong thread, wrong argument combination).
class EAssertionFailed : public Exception {
public:
  EAssertionFailed(const std::string& AMessage, const char* AUnit) : Exception(AMessage + " (" + AUnit + ")") {}
  const char* ClassName() const override { return "EAssertionFailed"; }
};

// Malformed text where a number or date was expected.
class EConvertError : public Exception {
public:
  explicit EConvertError(const std::string& AMessage) : Exception(AMessage) {}
  const char* ClassName() const override { return "EConvertError"; }
};

// A number outside the range that its use allows.
class ERangeError : public Exception {
public:
  explicit ERangeError(const std::string& AMessage) : Exception(AMessage) {}
  const char* ClassName() const override { return "ERangeError"; }
};

}  // namespace orvella
