#include "views.h"

#include "csvwriter.h"
#include "exitcodes.h"
#include "session.h"
#include "signalcatalogue.h"
#include "tableview.h"

#include <QCoreApplication>

#include <algorithm>

#include <unistd.h>

namespace tool {

void addViewOptions(QCommandLineParser &parser)
{
    parser.addOption({QStringLiteral("csv"),
                      QStringLiteral("Instead of the events, the values as CSV (RFC 4180): the time in "
                                     "seconds, then one column per value with its unit in the header, "
                                     "each holding its last reading (empty: no reading); a row for every "
                                     "instant a value changed. Not with --json, --frames, --changes or "
                                     "--table. Example: --csv --signals Vehicle.Speed,CanBox.Version > values.csv")});
    parser.addOption({QStringLiteral("bom"),
                      QStringLiteral("With --csv: start with a UTF-8 byte-order mark, which a spreadsheet "
                                     "needs to read units such as \"°C\" right.")});
    parser.addOption({QStringLiteral("table"),
                      QStringLiteral("Instead of the events, a live table of the values with their age "
                                     "in seconds, beside every message's rate per second and error "
                                     "counts, redrawn in place on a terminal; elsewhere a snapshot for "
                                     "every second in which the box sent something, and one at the "
                                     "end. Not with --json, --frames or --changes. Example: replay drive.cap "
                                     "--table --speed 1")});
    parser.addOption({QStringLiteral("signals"),
                      QStringLiteral("The values --csv or --table shows, by the names of 'canservice "
                                     "signals', separated by commas (default: all)."),
                      QStringLiteral("names")});
}

int chooseView(const QCommandLineParser &parser, const QString &command, SessionOptions *options,
               ViewChoice *view)
{
    const QStringList given = parser.optionNames();
    const bool csv = given.contains(QStringLiteral("csv"));
    const bool table = given.contains(QStringLiteral("table"));
    if (given.contains(QStringLiteral("bom")) && !csv) {
        tool::err() << command << ": --bom goes with --csv\n";
        return exitcode::Usage;
    }
    if (!csv && !table) {
        if (given.contains(QStringLiteral("signals"))) {
            tool::err() << command << ": --signals chooses the columns of --csv or --table; give one of them\n";
            return exitcode::Usage;
        }
        return -1;
    }
    const QString mine = csv ? QStringLiteral("--csv") : QStringLiteral("--table");
    for (const char *other : {"table", "json", "frames", "changes", "quiet"}) {
        if (given.contains(QLatin1String(other)) && mine.mid(2) != QLatin1String(other)) {
            tool::err() << command << ": " << mine << " takes the place of the event stream; it does "
                        << "not go with --" << other << '\n';
            return exitcode::Usage;
        }
    }
    view->kind = csv ? ViewChoice::Csv : ViewChoice::Table;
    view->byteOrderMark = given.contains(QStringLiteral("bom"));
    const auto &catalogue = SignalCatalogue::vehicleSignals();
    view->entries.clear();
    if (!given.contains(QStringLiteral("signals"))) {
        for (int i = 0; i < catalogue.size(); ++i)
            view->entries << i;
    }
    for (const QString &name : parser.value(QStringLiteral("signals")).split(QLatin1Char(','))) {
        if (!given.contains(QStringLiteral("signals")))
            break;
        const auto found = std::find_if(catalogue.cbegin(), catalogue.cend(),
                                        [&name](const SignalInfo &s) { return s.name == name.trimmed(); });
        const int index = int(found - catalogue.cbegin());
        if (found == catalogue.cend()) {
            tool::err() << command << ": there is no vehicle value \"" << name
                        << "\"; 'canservice signals' lists them (those that are not events)\n";
            return exitcode::Usage;
        }
        if (view->entries.contains(index)) {
            tool::err() << command << ": " << found->name << " is named twice in --signals\n";
            return exitcode::Usage;
        }
        view->entries << index;
    }
    options->printer.quiet = true;
    options->printer.healthWhenQuiet = false;
    return -1;
}

void attachView(const ViewChoice &view, Session &session, const QString &source)
{
    if (view.kind == ViewChoice::Csv) {
        const EventPrinter::Options &printed = session.printer()->options();
        auto *writer = new CsvWriter(*session.model(), view.entries, tool::out(), ::isatty(STDOUT_FILENO) == 1,
                                     printed.live || printed.paced, view.byteOrderMark, &session);
        QObject::connect(qApp, &QCoreApplication::aboutToQuit, writer, &CsvWriter::finish);
    } else if (view.kind == ViewChoice::Table) {
        // A terminal that can place the cursor gets the panel; anything else the log of snapshots.
        const QByteArray term = qgetenv("TERM");
        const bool terminal = ::isatty(STDOUT_FILENO) == 1 && !term.isEmpty() && term != "dumb";
        auto *table = new TableView(*session.model(), view.entries, source, tool::out(), terminal, &session);
        QObject::connect(qApp, &QCoreApplication::aboutToQuit, table, &TableView::finish);
    }
}

} // namespace tool
