#pragma once

#include <QObject>
#include <QSize>
#include <QStringList>
#include <QTextStream>

namespace tool {

// A view's own screen on a terminal: the alternate screen, which keeps what the terminal showed
// before, with the cursor hidden, drawn whole in place at the terminal's size of the moment. The
// terminal is given back as it was by leave() (and the destructor), and on Ctrl-Z; after fg the
// screen is taken again and resumed() asks the view to draw.
class Screen : public QObject
{
    Q_OBJECT

public:
    explicit Screen(QTextStream &out, QObject *parent = nullptr);
    ~Screen() override;

    void enter();
    void leave();
    // Lines at most size().width() long, at most size().height() of them.
    void draw(const QStringList &lines);
    // Read at every call: a resized window is drawn at its new size with the next draw.
    static QSize size();

signals:
    void resumed();

private:
    QTextStream &m_out;
    bool m_on = false;
};

// An ANSI control sequence: ESC [ and the rest.
inline QString csi(const char *sequence)
{
    return QStringLiteral("\x1b[") + QLatin1String(sequence);
}

} // namespace tool
