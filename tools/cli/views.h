#pragma once

#include <QCommandLineParser>
#include <QString>
#include <QVector>

namespace tool {

class Session;
struct SessionOptions;

// What monitor and replay show instead of the event stream: the values as CSV, or a live table.
struct ViewChoice
{
    enum Kind { Events, Csv, Table } kind = Events;
    QVector<int> entries; // the catalogue's vehicle signals shown, in order
    bool byteOrderMark = false; // --bom: the CSV starts with one
};

// --csv, --table and --signals.
void addViewOptions(QCommandLineParser &parser);
// Reads them: -1 when the command should go on (the printer then keeps quiet if a view replaces
// it), else the exit code, already explained.
int chooseView(const QCommandLineParser &parser, const QString &command, SessionOptions *options,
               ViewChoice *view);
// Makes the chosen view on a loaded session, as the session's child; it writes its last row or
// table as the application quits.
void attachView(const ViewChoice &view, Session &session, const QString &source);

} // namespace tool
