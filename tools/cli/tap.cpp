#include "commands.h"

#include "boxline.h"
#include "exitcodes.h"
#include "headunitreader.h"
#include "options.h"
#include "sessionmodel.h"
#include "virtualserialline.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <memory>
#include <sys/stat.h>

namespace tool {

namespace {
// What the tap heard on the head unit's side, for the end: the same numbers as text or JSON.
struct HeadUnitCounts
{
    int frames = 0; // a frame with a wrong checksum among them
    int acknowledgements = 0;
    int refusals = 0;
    qint64 noiseBytes = 0;
    int lineLosses = 0;

    void print(bool json) const
    {
        if (json)
            tool::out() << "{\"type\":\"headUnit\",\"frames\":" << frames << ",\"acknowledgements\":"
                        << acknowledgements << ",\"refusals\":" << refusals << ",\"noiseBytes\":" << noiseBytes
                        << ",\"lineLosses\":" << lineLosses << "}\n";
        else
            tool::out() << "Head unit: frames " << frames << ", acknowledgements " << acknowledgements
                        << ", refusals " << refusals << ", noise bytes " << noiseBytes << ", line losses "
                        << lineLosses << '\n';
        tool::out().flush();
    }
};

// Whether two names reach one device node, through links and ".." alike; names that are not there
// (an adapter not plugged in yet), whether they are one path once cleaned.
bool sameDevice(const QString &one, const QString &other)
{
    struct stat a = {}, b = {};
    if (::stat(QFile::encodeName(one).constData(), &a) == 0 && ::stat(QFile::encodeName(other).constData(), &b) == 0)
        return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
    return QDir::cleanPath(QFileInfo(one).absoluteFilePath()) == QDir::cleanPath(QFileInfo(other).absoluteFilePath());
}

// One receive-only line of the Y-cable; false, said on standard error, when it cannot be opened.
bool openListening(const QString &device, std::unique_ptr<BoxLine> *line, int *exit)
{
    canservice::SerialPort::Error error = canservice::SerialPort::NoError;
    QString reason;
    line->reset(BoxLine::openDevice(device, &error, &reason));
    if (*line)
        return true;
    Failure failure = Failure::Other;
    tool::err() << "canservice: " << describeDeviceError(device, error, reason, &failure) << '\n';
    *exit = exitcode::of(failure);
    return false;
}
} // namespace

int tap(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
            "Listens to a head unit and a CAN box talking, on the two receive-only lines of a "
            "Y-cable: BOXSIDE hears the box, HEADSIDE the head unit. Both directions are shown "
            "in one frame view in time order, the box's side decoded through the plugin (which "
            "only listens: nothing is ever written to either line), the head unit's side as "
            "frames, acknowledgements and refusals, until Ctrl-C.\n\n"
            "Example: canservice tap /dev/ttyUSB0 /dev/ttyUSB1 --pcapng car.pcapng"));
    addPluginOptions(parser);
    parser.addOption({QStringLiteral("changes"),
                      QStringLiteral("Only frames whose bytes differ from the last of their "
                                     "identifier, the changed bytes in brackets.")});
    addPcapngOption(parser);
    parser.addOption({QStringLiteral("record"),
                      QStringLiteral("Also write the box's chunks with their times to FILE, in the "
                                     "capture format that replay reads; the head unit's bytes go "
                                     "in as comments (# head unit SECONDS HEX)."),
                      QStringLiteral("file")});
    parser.addPositionalArgument(QStringLiteral("BOXSIDE"), QStringLiteral("The line that hears the box."));
    parser.addPositionalArgument(QStringLiteral("HEADSIDE"), QStringLiteral("The line that hears the head unit."));
    if (const int exit = parseArguments(parser, arguments, 2, QStringLiteral("BOXSIDE and HEADSIDE"));
        exit >= 0)
        return exit;
    const QString boxSide = parser.positionalArguments().at(0);
    const QString headSide = parser.positionalArguments().at(1);
    // Checked before either is opened: the second would find the device taken, by the tap itself.
    if (sameDevice(boxSide, headSide)) {
        tool::err() << "canservice tap: BOXSIDE and HEADSIDE are two lines, but " << boxSide << " and "
                    << headSide << " are the same device.\n";
        return exitcode::Usage;
    }

    SessionOptions options = sessionOptions(parser);
    options.printer.frames = true;
    options.printer.source = boxSide + QStringLiteral(" and ") + headSide;
    options.pcapng = parser.value(QStringLiteral("pcapng"));
    options.record = parser.value(QStringLiteral("record"));
    options.hidePluginWrites = true;

    // Both lines on one clock, whose second 0 is the pcapng's and the recording's start.
    QElapsedTimer sinceStart;
    sinceStart.start();
    options.pcapngEpochUs = QDateTime::currentMSecsSinceEpoch() * 1000;
    // Made first: it keeps the serial lines' own warnings out of the way of one clear error.
    Session session(options);
    int exit = exitcode::Ok;
    std::unique_ptr<BoxLine> fromBox, fromHeadUnit;
    if (!openListening(boxSide, &fromBox, &exit) || !openListening(headSide, &fromHeadUnit, &exit))
        return exit;
    if (const Failure failure = session.load(QStringLiteral("virtual:tap")); failure != Failure::None)
        return exitcode::of(failure);
    session.model()->setClock([sinceStart] { return sinceStart.elapsed() / 1000.0; });
    canservice::VirtualSerialLine *plugin = session.port()->virtualLine();
    if (!parser.isSet(QStringLiteral("json")))
        session.printer()->note(QStringLiteral("box on %1, head unit on %2; Ctrl-C ends").arg(boxSide, headSide));

    // A side that goes away counts as a line loss in that side's counts: the box's in the link's
    // health, the head unit's in its own.
    HeadUnitCounts counts;
    for (BoxLine *line : {fromBox.get(), fromHeadUnit.get()})
        QObject::connect(line, &BoxLine::lineStateChanged,
                         [&session, &counts, line, boxSide = line == fromBox.get()](bool up) {
            if (!up && boxSide)
                session.model()->lineLost();
            else if (!up)
                ++counts.lineLosses;
            session.printer()->note(up ? QStringLiteral("%1 is back").arg(line->deviceName())
                                       : QStringLiteral("%1 is down (%2); listening again when it is back")
                                                 .arg(line->deviceName(), line->lineError()));
        });
    // The plugin is not started: it hears the box as the head unit does and answers nobody.
    QObject::connect(fromBox.get(), &BoxLine::received, plugin, &canservice::VirtualSerialLine::deliver);
    HeadUnitReader headUnit;
    const auto heard = [&](HeadUnitReader::Kind kind, const QByteArray &bytes) {
        counts.frames += kind == HeadUnitReader::Frame || kind == HeadUnitReader::BadFrame;
        counts.acknowledgements += kind == HeadUnitReader::Acknowledgement;
        counts.refusals += kind == HeadUnitReader::Refusal;
        counts.noiseBytes += kind == HeadUnitReader::Noise ? bytes.size() : 0;
        session.headUnitWrote(bytes, kind == HeadUnitReader::Noise);
    };
    QObject::connect(fromHeadUnit.get(), &BoxLine::received, [&](const QByteArray &chunk) {
        headUnit.feed(chunk, session.model()->ms(), heard);
    });

    session.finishOnInterrupt(false);
    QCoreApplication::exec();
    counts.print(parser.isSet(QStringLiteral("json")));
    if (session.writeFailed())
        return exitcode::CannotWrite;
    return exitcode::ofEnd(session);
}

} // namespace tool
