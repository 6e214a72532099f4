#pragma once
// The check that a piece of work raises an exception of one class with one
// text and, for a system error, one code.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <type_traits>

#include "platform/Exceptions.h"

namespace orvella::testing {

template <typename TError, typename TWork>
::testing::AssertionResult Raises(TWork&& AWork, const std::string& AText, std::optional<int> ACode = std::nullopt) {
  try {
    AWork();
  } catch (const TError& e) {
    if (e.what() != AText)
      return ::testing::AssertionFailure() << "raised \"" << e.what() << "\" instead of \"" << AText << "\"";
    if constexpr (std::is_base_of_v<EOSError, TError>) {
      if (ACode && e.ErrorCode() != *ACode)
        return ::testing::AssertionFailure() << "raised code " << e.ErrorCode() << " instead of " << *ACode;
    }
    return ::testing::AssertionSuccess();
  } catch (const std::exception& e) {
    return ::testing::AssertionFailure() << "raised another exception: " << e.what();
  }
  return ::testing::AssertionFailure() << "raised nothing";
}

// A system error: its code and its whole text.
template <typename TWork>
::testing::AssertionResult RaisesOSError(TWork&& AWork, int ACode, const std::string& AText) {
  return Raises<EOSError>(std::forward<TWork>(AWork), AText, ACode);
}

}  // namespace orvella::testing
