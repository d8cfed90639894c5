#pragma once

#include <QString>

class QWidget;

namespace Tessary {

// The box that shows an exception caught by SafeApplication: modal, critical
// icon, the title given, the message in its text, and the buttons
// "Send Feedback..." and "Close". Returns true when "Send Feedback..." was chosen.
bool showUnhandledErrorBox(QWidget* parent, const QString& title, const QString& message);

} // namespace Tessary
