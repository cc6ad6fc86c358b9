#pragma once

#include <QProcessEnvironment>
#include <QStringList>

// Whether the window system Qt would use can be reached at all. Without one (a shell over ssh,
// DISPLAY and WAYLAND_DISPLAY unset) Qt aborts the process with a core dump; the program says
// so itself and points at the runs that need no window.
namespace DisplayCheck {

// `arguments` as main() has them (the program first); `environment` the process' own. The
// platform comes from "-platform NAME" or QT_QPA_PLATFORM (a list "a;b" tries each in turn);
// without one Qt takes Wayland or X, so either display will do. Platforms that need no display
// (offscreen, minimal, vnc, eglfs, ...) always can.
bool canOpenWindow(const QStringList &arguments, const QProcessEnvironment &environment);

// The message for the user: "PROGRAM: cannot open a window: no display" and the hint at the
// command-line runs, translated when a translator is installed.
QString noDisplayMessage(const QString &program);

} // namespace DisplayCheck
