#include "screenshot.h"

#include "dashboardmodel.h"
#include "exitcodes.h"
#include "interrupt.h"
#include "layoutcheck.h"
#include "outputfile.h"
#include "printable.h"
#include "session.h"
#include "sessionmodel.h"
#include "sourcethread.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QImage>
#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QQuickWindow>

#include <memory>

namespace tool {

namespace {
const int SettleFrames = 3;
} // namespace

QQuickWindow *loadWindow(QQmlApplicationEngine &engine, DashboardModel &model, int width, int height,
                         const QString &page)
{
    engine.rootContext()->setContextProperty(QStringLiteral("car"), &model);
    engine.load(QUrl(QStringLiteral("qrc:/dashboard/qml/Main.qml")));
    auto *window = engine.rootObjects().isEmpty() ? nullptr : qobject_cast<QQuickWindow *>(engine.rootObjects().first());
    if (!window) {
        tool::err() << "canservice: the dashboard's QML did not load (see above); it needs the Debian "
                       "packages qml-module-qtquick2, qml-module-qtquick-window2, qml-module-qtquick-layouts, "
                       "qml-module-qtquick-controls, qml-module-qtquick-controls2, qml-module-qtquick-extras "
                       "and qml-module-qtquick-shapes.\n";
        return nullptr;
    }
    window->resize(width, height);
    window->setProperty("page", page);
    return window;
}

void onFirstFrame(QQuickWindow *window, const std::function<void()> &then)
{
    // The frames are told from the render thread, queued: more than one may be on its way before
    // the first is heard, and a disconnection does not take back what is queued. Only the call that
    // disconnects goes on.
    auto first = std::make_shared<QMetaObject::Connection>();
    *first = QObject::connect(window, &QQuickWindow::frameSwapped, window, [first, then] {
        if (QObject::disconnect(*first))
            then();
    });
}

int writeScreenshot(QQuickWindow *window, const QString &file)
{
    const QImage image = window->grabWindow();
    QByteArray png;
    QBuffer buffer(&png);
    OutputFile out(file);
    if (image.isNull() || !buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, "PNG") || !out.open()
        || !out.append(png) || !out.commit()) {
        tool::err() << "canservice: cannot write the screenshot " << file << ": "
                    << (out.failed() ? out.errorString() : QStringLiteral("the window could not be grabbed"))
                    << ".\n";
        if (out.partialName() != file)
            QFile::remove(out.partialName());
        return exitcode::CannotWrite;
    }
    return exitcode::Ok;
}

int checkLayout(QQuickWindow *window)
{
    const QString shown = window->property("page").toString();
    const QString size = QStringLiteral("%1x%2").arg(window->width()).arg(window->height());
    int count = 0;
    for (const char *page : {"drive", "diagnostics"}) {
        window->setProperty("page", page);
        // The page laid out and drawn: its layouts settle over the frames after the change.
        for (int frame = 0; frame < SettleFrames; ++frame) {
            QEventLoop drawn;
            QObject::connect(window, &QQuickWindow::frameSwapped, &drawn, &QEventLoop::quit);
            window->update();
            drawn.exec();
        }
        const QStringList faults = LayoutCheck::faults(window);
        for (const QString &fault : faults)
            tool::out() << size << ' ' << page << ": " << printable(fault) << '\n';
        count += faults.size();
    }
    window->setProperty("page", shown);
    tool::out() << "layout at " << size << ": " << count << (count == 1 ? " fault" : " faults") << " on 2 pages\n";
    tool::out().flush();
    return count ? exitcode::LayoutFaults : exitcode::Ok;
}

// A screenshot of a replay or of the simulated box: the source runs on the capture clock in a
// thread of its own up to the instant, so that the picture shows the vehicle exactly as it was
// then, the same in every run.
int heldScreenshot(SourceThread &replay, const SessionOptions &options, bool answers, const AtInstant &take,
                   int width, int height, const QString &page)
{
    if (const Failure failure = replay.load(); failure != Failure::None)
        return exitcode::of(failure);
    Session *session = replay.session();
    DashboardModel model(session->service(), options.printer.source);
    model.hold();
    if (!answers)
        model.setNoAnswer(QStringLiteral("a replay: no box on the line to answer"));
    QObject::connect(session->model(), &SessionModel::lineStateChanged, &model, &DashboardModel::setLine);
    QObject::connect(session->model(), &SessionModel::frameAccepted, &model, &DashboardModel::frameAccepted);
    QQmlApplicationEngine engine;
    QQuickWindow *window = loadWindow(engine, model, width, height, page);
    if (!window)
        return exitcode::Failure;

    int result = exitcode::Ok;
    bool shown = false, reached = false;
    const auto takeIfReady = [&] {
        if (!shown || !reached)
            return;
        if (!replay.error().isEmpty()) {
            // No picture of a capture that could not be read.
            tool::err() << "canservice: " << replay.error() << '\n';
            result = exitcode::BadCapture;
            QCoreApplication::quit();
            return;
        }
        model.release();
        QVariantMap h = session->model()->health().toJson().toVariantMap();
        model.setHealth(h);
        // Once the window has drawn the state a few times over: a layout whose content changed
        // settles over the frames after it.
        auto frames = std::make_shared<int>(0);
        QObject::connect(window, &QQuickWindow::frameSwapped, window, [&, frames] {
            if (++*frames < SettleFrames) {
                window->update();
                return;
            }
            if (*frames == SettleFrames) {
                result = take(window);
                QCoreApplication::quit();
            }
        });
        window->update();
    };
    QObject::connect(&replay, &SourceThread::reached, window, [&] {
        reached = true;
        takeIfReady();
    });
    onFirstFrame(window, [&] {
        shown = true;
        takeIfReady();
    });
    bool interrupted = false;
    Interrupt interrupt;
    QObject::connect(&interrupt, &Interrupt::requested, [&] {
        interrupted = true;
        QCoreApplication::quit();
    });
    replay.go();
    QCoreApplication::exec();
    replay.quit();
    replay.wait();
    return interrupted ? exitcode::Interrupted : result;
}

} // namespace tool
