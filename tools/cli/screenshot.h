#pragma once

#include <QString>

#include <functional>

class QQmlApplicationEngine;
class QQuickWindow;

namespace tool {

class DashboardModel;
class SourceThread;
struct SessionOptions;

// The dashboard's window on the model, of that size; null when the QML did not load (said on
// standard error).
QQuickWindow *loadWindow(QQmlApplicationEngine &engine, DashboardModel &model, int width, int height);
// Calls then() once, when the window has shown its first frame.
void onFirstFrame(QQuickWindow *window, const std::function<void()> &then);
// The window as a PNG, whole or not at all: the picture goes to a file beside the target, then
// takes its name. The exit code.
int writeScreenshot(QQuickWindow *window, const QString &file);
// A screenshot of a replay or of the simulated box run by the thread up to its instant (answers:
// whether the source has a box that answers commands). The exit code.
int heldScreenshot(SourceThread &source, const SessionOptions &options, bool answers, const QString &file,
                   int width, int height);

} // namespace tool
