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
#include <vector>

class CanServiceBase;

namespace tool {

class HeardSignals;

QTextStream &out();
QTextStream &err();

// The link as the head unit saw it: what the receiver did with the box's bytes, the line's events
// and the plugin's signals.
struct LinkHealth
{
    int framesAccepted = 0;
    int checksumErrors = 0;
    int receiveTimeouts = 0;
    int cutFrames = 0; // frames that stopped arriving for longer than the receive time-out
    qint64 noiseBytes = 0; // bytes dropped outside frames
    int linkLosses = 0;
    int lineLosses = 0;
    qint64 droppedWrites = 0;
    qint64 bytesReceived = 0;

    QString text() const;
    QJsonObject toJson() const;
};

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
// verbose, what it does with every received byte told by the receive model (the frame view, the
// pcapng file and the link's health all come from it), and what it decodes printed.
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
    // Ctrl-C and SIGTERM end the session like finish(withSummary); interrupted() then says so.
    void finishOnInterrupt(bool withSummary);
    bool interrupted() const { return m_interrupted; }
    // What a head unit on a line the session only hears wrote: shown and recorded as the plugin's
    // writes are (a recording keeps it as a comment, "# head unit SECONDS HEX"); noise as noise.
    void headUnitWrote(const QByteArray &bytes, bool noise = false);

    CanServiceBase *service() const { return m_service; }
    EventPrinter *printer() const { return m_printer.get(); }
    const tool::LinkHealth &health() const { return m_health; }
    QString pluginFile() const { return m_host.fileName(); }

signals:
    // The serial line under the plugin went down, with the system's reason, or came back.
    void lineStateChanged(bool up, const QString &reason);
    // A frame the plugin accepted, as the receiver saw it: its identifier and its data bytes.
    void frameAccepted(int id, const QByteArray &payload);
    // The receiver did this with the box's bytes (what the frame view shows and the health counts).
    void itemReceived(const canbox::ReceiveModel::Item &item);
    // The service handled a frame that changes the vehicle without a signal of its own (the
    // emergency call's): whoever keeps a VehicleState reads it again.
    void silentFrameHandled();

private:
    void watchLine();
    void received(const QByteArray &chunk);
    void receiverActed(const canbox::ReceiveModel::Item &item);
    void flushReceived(bool toFirstFrame);
    void chunkHandled();
    void sent(const QByteArray &bytes);
    void show(const QByteArray &bytes);
    void record(qint64 ms, bool inbound, const QByteArray &bytes, const QString &comment = QString());
    bool openOutputs();
    void closeOutputs(bool complete);
    void writeFailure(const OutputFile &file, const char *what);
    void armReceiveTimeout();

    SessionOptions m_options;
    tool::LinkHealth m_health;
    PluginHost m_host;
    CanServiceBase *m_service = nullptr;
    std::unique_ptr<EventPrinter> m_printer;
    canbox::ReceiveModel m_receiver;
    // What the model said of a chunk, shown as the plugin acts on it: up to each frame when the
    // plugin acknowledges it, the rest once the chunk is done.
    std::vector<canbox::ReceiveModel::Item> m_receivedItems;
    size_t m_nextItem = 0; // the first not shown yet
    HeardSignals *m_heard = nullptr;
    bool m_silentFrame = false; // the chunk carried a frame the service handles without a signal
    QTimer m_receiveTimeout; // the receiver's time-out, when one runs
    PcapngWriter m_pcapng;
    std::unique_ptr<OutputFile> m_capture;
    QTimer m_flushTimer; // a live run's files reach the disk at least once a second
    bool m_writeFailed = false;
    bool m_toldAboutProbe = false;
    QString m_device;
    canservice::SerialPort::Error m_lineError = canservice::SerialPort::NoError;
    QString m_lineReason;
    bool m_started = false;
    bool m_finishing = false;
    bool m_interrupted = false;
    std::unique_ptr<Interrupt> m_interrupt;
};

} // namespace tool
