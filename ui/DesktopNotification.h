#pragma once

#include <QString>

// A message to the desktop's notification service on the session bus (where one is there):
// sent without waiting, and without a word when there is none.
namespace DesktopNotification {
void send(const QString &summary, const QString &body = QString());
}
