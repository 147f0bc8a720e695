#pragma once

#include <QStringList>

#include <functional>

class QFile;

// The commands of the canservice tool; each takes its arguments with arguments[0] naming it
// ("canservice monitor") and returns the exit code.
namespace tool {
struct SessionOptions;
class BoxLine;
class CaptureReader;
int demo(const QStringList &arguments);
int monitor(const QStringList &arguments);
int replay(const QStringList &arguments);
int sim(const QStringList &arguments);
int signalList(const QStringList &arguments);
int dashboard(const QStringList &arguments);
int exportCapture(const QStringList &arguments);
int serve(const QStringList &arguments);
int stats(const QStringList &arguments);
int plot(const QStringList &arguments);
int tap(const QStringList &arguments);
int fleet(const QStringList &arguments);

// A capture through the plugin on an in-process line, on the capture's clock: at full speed, or
// SPEED seconds of the capture a second. What replay and export share. watch(session) is called
// once the plugin is loaded, before the first chunk.
class Session;
int replayCapture(const QString &name, SessionOptions options, double speed,
                  const std::function<void(Session &)> &watch = {});
// sim --play: the capture onto the line at its times, from the head unit's first bytes or now.
int playCapture(const QString &name, QFile &file, CaptureReader &reader, BoxLine *line, bool now,
                bool verbose);
} // namespace tool
