#pragma once

#include "session.h"

#include <QString>

#include <functional>

namespace tool {

class Replayer;

// A capture through the plugin on an in-process line, on the capture's clock, at full speed and
// printing nothing: what the commands that sum a capture up (stats, plot) share with replay.
// watch(session, replayer) is called once the plugin is loaded, before the first chunk; after it
// returns the capture has been read to its end. Returns the exit code (a capture that cannot be
// read, or is malformed, is said on standard error).
int runCaptureQuietly(const QString &name, const QString &pluginPath,
                      const std::function<void(Session &, Replayer &)> &watch,
                      const std::function<void(Session &, Replayer &)> &done);

} // namespace tool
