#pragma once

#include "canboxreceive.h"
#include "eventprinter.h"
#include "interrupt.h"
#include "pcapngwriter.h"
#include "pluginhost.h"
#include "serialport.h"

#include <QJsonObject>
#include <QObject>
#include <QString>
#include <QTextStream>
#include <QTimer>

#include <memory>

class CanServiceBase;

namespace tool {

class SessionModel;

QTextStream &out();
QTextStream &err();
// Standard output's reader went away: what the views still print is dropped, and then what the
// run has left to say (its summary) goes to standard error.
void dropOutput();
void sendOutputToError();

// Why a device cannot be opened, as one sentence, and the kind of failure it is.
QString describeDeviceError(const QString &device, canservice::SerialPort::Error error,
                            const QString &reason, Failure *failure);

struct SessionOptions
{
    QString pluginPath; // empty: PluginHost::defaultPluginPath()
    bool verbose = false;
    EventPrinter::Options printer;
    // Every frame, acknowledgement and noise run also to this pcapng file, its times counted
    // from pcapngEpochUs (microseconds since the epoch), which a recording also carries as its start.
    QString pcapng;
    qint64 pcapngEpochUs = 0;
    // Every chunk received also to this capture file, for replay.
    QString record;
    // The plugin only listens: what it writes is neither shown nor recorded (a tap, where the
    // head unit's own writes are given by headUnitWrote).
    bool hidePluginWrites = false;
};

// One run of the plugin as a head unit runs it: loaded on a device, its debug lines off unless
// verbose, its port's events handed to the session model (which the views read), what it decodes
// printed, and the files the run records.
class Session : public QObject
{
    Q_OBJECT

public:
    explicit Session(const SessionOptions &options, QObject *parent = nullptr);
    ~Session() override;

    // Loads the plugin on the device: Failure::None when it is ready, else why not, already
    // explained on standard error.
    Failure load(const QString &device);
    void start();
    // Stops the service if it was started, prints what is asked and leaves the event loop. The
    // files written take their names if the run is complete; else they are kept as partial.
    void finish(bool withSummary, bool complete = true);
    // A file could not be written (a full disk): the run stopped, and the message said why.
    bool writeFailed() const { return m_writeFailed; }
    // When the capture a replay reads began, in milliseconds since the epoch; -1 when it does
    // not say (or on a live line).
    qint64 captureEpochMs() const { return m_options.pcapngEpochUs > 0 ? m_options.pcapngEpochUs / 1000 : -1; }
    // Ctrl-C, SIGTERM and SIGHUP end the session like finish(withSummary), and so does standard
    // output's reader going away (what is left to print then goes to standard error). A live
    // session's files are complete up to that moment; a file-driven one's stay partial, and an
    // earlier file of the same name stays as it was. interrupted() and outputLost() say which.
    void finishOnInterrupt(bool withSummary);
    bool interrupted() const { return m_interrupted; }
    bool outputLost() const { return m_outputLost; }
    // What a head unit on a line the session only hears wrote: shown and recorded as the plugin's
    // writes are (a recording keeps it as a comment, "# head unit SECONDS HEX"); noise as noise.
    void headUnitWrote(const QByteArray &bytes, bool noise = false);

    CanServiceBase *service() const { return m_service; }
    // The session's clock, link health and vehicle state; null until loaded.
    SessionModel *model() const { return m_model; }
    EventPrinter *printer() const { return m_printer.get(); }
    // The port the plugin opened; null until loaded.
    canservice::SerialPort *port() const { return m_host.port(); }
    QString pluginFile() const { return m_host.fileName(); }

private:
    void watchLine(canservice::SerialPort *port);
    void recordItem(const canbox::ReceiveModel::Item &item);
    void record(qint64 ms, bool inbound, const QByteArray &bytes, const QString &comment = QString());
    void appendCapture(const QByteArray &prefix, const QByteArray &bytes);
    bool openOutputs();
    void closeOutputs(bool complete);
    void writeFailure(const OutputFile &file, const char *what);

    SessionOptions m_options;
    PluginHost m_host;
    CanServiceBase *m_service = nullptr;
    SessionModel *m_model = nullptr;
    std::unique_ptr<EventPrinter> m_printer;
    PcapngWriter m_pcapng;
    std::unique_ptr<OutputFile> m_capture;
    QTimer m_flushTimer; // a live run's files reach the disk at least once a second
    bool m_writeFailed = false;
    bool m_toldAboutProbe = false;
    canservice::SerialPort::Error m_lineError = canservice::SerialPort::NoError;
    QString m_lineReason;
    bool m_started = false;
    bool m_finishing = false;
    bool m_interrupted = false;
    bool m_outputLost = false;
    const OutputFile *m_failedOutput = nullptr; // the file whose write failed, named as it failed
    std::unique_ptr<Interrupt> m_interrupt;
};

} // namespace tool
