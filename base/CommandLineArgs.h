#pragma once
// The Windows rules for splitting a command line into arguments, so that the
// parameters of RunProcess mean the same on every system.
#include <string>
#include <vector>

namespace orvella {

// Blanks and tabs separate arguments outside double quotes; a double quote
// toggles quoting (two in a row inside quotes give one literal quote);
// 2n backslashes before a quote give n backslashes, 2n+1 give n and a literal
// quote; other backslashes stand for themselves.
std::vector<std::string> SplitCommandLineArgs(const std::string& AParameters);

}  // namespace orvella
