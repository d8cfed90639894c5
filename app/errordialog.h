#pragma once

#include <QString>

class QWidget;

namespace Tessary {

// The box that shows an exception caught by SafeApplication: modal, critical
// icon, the title given, the message in its text, and "Close". The button
// "Send Feedback..." is added only when offerFeedback is true (a build that
// can send reports). Returns true when that button was chosen.
bool showUnhandledErrorBox(QWidget* parent, const QString& title, const QString& message, bool offerFeedback);

} // namespace Tessary
