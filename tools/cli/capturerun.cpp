#include "capturerun.h"

#include "exitcodes.h"
#include "interrupt.h"
#include "replayer.h"
#include "serialport.h"
#include "sessionmodel.h"

#include <QCoreApplication>
#include <QFile>

namespace tool {

int runCaptureQuietly(const QString &name, const QString &pluginPath,
                      const std::function<void(Session &, Replayer &)> &watch,
                      const std::function<void(Session &, Replayer &)> &done)
{
    QFile file;
    std::unique_ptr<CaptureReader> reader;
    QString error;
    if (!openCapture(name, file, reader, &error)) {
        tool::err() << "canservice: " << error << '\n';
        return exitcode::CannotRead;
    }
    SessionOptions options;
    options.pluginPath = pluginPath;
    options.printer.source = name;
    options.printer.live = false;
    options.printer.quiet = true;
    Session session(options);
    if (const Failure failure = session.load(QStringLiteral("virtual:replay")); failure != Failure::None)
        return exitcode::of(failure);
    Replayer replayer(file, *reader, session.port()->virtualLine());
    session.model()->setClock([&replayer] { return replayer.now(); });
    replayer.finished = [&session, &replayer] { session.finish(false, replayer.error().isEmpty()); };
    replayer.stopWaiting = [] { return Interrupt::requests() > 0; };
    replayer.repeated = [&session](const RepeatedWrites &repeat) { session.model()->headUnitRepeated(repeat); };
    session.finishOnInterrupt(false);
    watch(session, replayer);
    replayer.start();
    QCoreApplication::exec();
    if (!replayer.error().isEmpty()) {
        tool::err() << "canservice: " << replayer.error() << '\n';
        return exitcode::BadCapture;
    }
    // Ended early: what was read so far is summed up all the same, and said to be partial.
    if (session.interrupted() || session.outputLost())
        tool::err() << "canservice: ended at " << QString::number(replayer.now(), 'f', 3)
                    << " s of the capture; what follows covers the capture up to there\n";
    done(session, replayer);
    return exitcode::ofEnd(session);
}

} // namespace tool
