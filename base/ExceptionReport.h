#pragma once
// The application's standard exception report.
#include <exception>
#include <functional>
#include <string>

namespace orvella {

// The caption of the application's message boxes.
inline constexpr const char* ApplicationTitle = "Монитор сервера Tamsket";

// The text that the report shows for AError.
std::string ExceptionText(const std::exception_ptr& AError);

// Shows AError's text in a message box with the application's title; without
// a widget application (tests, tools), or once the application is ending, the
// text goes to standard error.
void ShowExceptionReport(const std::exception_ptr& AError);

// From now on reports go to standard error (or, with false, to message boxes
// again): the application is ending without anybody asking for it (the
// session's end, a signal), and a message box would hold up that end until
// somebody dismissed it.
void ReportExceptionsToStandardError(bool AToStandardError = true);

// Runs AWork; an exception that escapes it goes to the standard exception
// report. Everything Qt's event loop calls runs inside it, because nothing may
// unwind through the loop.
void RunGuarded(const std::function<void()>& AWork);

}  // namespace orvella
