#pragma once

#include <QString>

#include <functional>

class QQmlApplicationEngine;
class QQuickWindow;

namespace tool {

class DashboardModel;
class SourceThread;
struct SessionOptions;

// The dashboard's window on the model, of that size, showing that page; null when the QML did not
// load (said on standard error).
QQuickWindow *loadWindow(QQmlApplicationEngine &engine, DashboardModel &model, int width, int height,
                         const QString &page);
// Calls then() once, when the window has shown its first frame.
void onFirstFrame(QQuickWindow *window, const std::function<void()> &then);
// The window as a PNG, whole or not at all: the picture goes to a file beside the target, then
// takes its name. The exit code.
int writeScreenshot(QQuickWindow *window, const QString &file);
// What is done with the window at the run's instant: a screenshot, a layout check, or both. The
// exit code.
using AtInstant = std::function<int(QQuickWindow *)>;
// Checks the layout of each page (see LayoutCheck), then shows the window's page again; prints
// every fault on standard output, one a line. The exit code: LayoutFaults when there is one.
int checkLayout(QQuickWindow *window);
// A replay or the simulated box run by the thread up to its instant (answers: whether the source
// has a box that answers commands), then the window taken. The exit code.
int heldScreenshot(SourceThread &source, const SessionOptions &options, bool answers, const AtInstant &take,
                   int width, int height, const QString &page);

} // namespace tool
