// Every identifier in both directions as one good frame in a pcapng capture (argument 1), and on
// standard output the codec's name for each, one "direction id name" line per packet in order:
// what a dissector of the capture must call them.
#include "canboxframe.h"
#include "pcapngwriter.h"

#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    tool::PcapngWriter writer;
    if (argc != 2 || !writer.open(QString::fromLocal8Bit(argv[1])))
        return 2;
    QTextStream out(stdout);
    qint64 time = 0;
    for (const bool inbound : {true, false}) {
        for (int id = 0; id < 256; ++id) {
            writer.write(time += 1000, inbound, canbox::frame(quint8(id), {0x00}));
            const char *name = canbox::messageName(
                    quint8(id), inbound ? canbox::Direction::FromBox : canbox::Direction::ToBox);
            out << (inbound ? "in" : "out") << ' ' << QStringLiteral("0x%1").arg(id, 2, 16, QLatin1Char('0'))
                << ' ' << (name ? QString::fromLatin1(name) : QStringLiteral("unknown 0x%1").arg(id, 2, 16, QLatin1Char('0')))
                << '\n';
        }
    }
    return writer.commit() ? 0 : 2;
}
