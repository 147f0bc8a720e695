#include "tableview.h"

#include "sessionmodel.h"
#include "signalcatalogue.h"
#include "suspend.h"
#include "vehiclestate.h"

#include "canservicebase.h"

#include <algorithm>
#include <utility>

#include <sys/ioctl.h>
#include <unistd.h>

namespace tool {

namespace {
const int RedrawMs = 200; // five times a second at most

QString csi(const char *sequence)
{
    return QStringLiteral("\x1b[") + QLatin1String(sequence);
}
} // namespace

TableView::TableView(SessionModel &session, const QVector<int> &entries, const QString &source,
                     QTextStream &out, bool terminal, QObject *parent)
    : QObject(parent),
      m_session(session),
      m_state(session.vehicle()),
      m_entries(entries),
      m_source(source),
      m_out(out),
      m_terminal(terminal),
      m_changedMs(SignalCatalogue::vehicleSignals().size(), -1)
{
    connect(m_state, &VehicleState::changed, this, [this](const QVector<int> &changed) {
        const qint64 now = m_session.ms();
        for (int entry : changed)
            m_changedMs[entry] = now;
    });
    connect(&session, &SessionModel::itemReceived, this, &TableView::received);
    connect(&m_timer, &QTimer::timeout, this, &TableView::tick);
    m_timer.start(m_terminal ? RedrawMs : 1000);
    if (m_terminal) {
        enterScreen();
        // Ctrl-Z gives the shell its screen back; fg takes the panel up again.
        auto *suspend = new Suspend(this);
        connect(suspend, &Suspend::suspending, this, &TableView::leaveScreen);
        connect(suspend, &Suspend::resumed, this, [this] {
            enterScreen();
            draw();
        });
    }
}

void TableView::enterScreen()
{
    // The alternate screen keeps what the terminal showed before; the cursor hides meanwhile.
    m_out << csi("?1049h") << csi("?25l") << csi("H") << csi("2J");
    m_out.flush();
    m_onScreen = true;
}

TableView::~TableView()
{
    leaveScreen();
}

void TableView::leaveScreen()
{
    if (!m_onScreen)
        return;
    m_onScreen = false;
    m_out << csi("?25h") << csi("?1049l");
    m_out.flush();
}

void TableView::received(const canbox::ReceiveModel::Item &item)
{
    m_heardSince = true;
    if (m_firstMs < 0)
        m_firstMs = item.ms;
    m_messages.add(item);
    if (item.kind != canbox::ReceiveModel::Accepted || item.bytes.size() < 3)
        return;
    const QByteArray payload = item.bytes.mid(3, quint8(item.bytes.at(2)));
    const auto [at, first] = m_payloads.try_emplace(item.id());
    Payload &p = at->second;
    // The first frame of a message sets its bytes; after it, a byte that differs or is new has changed.
    if (first) {
        p.changedMs.fill(-1, payload.size());
    } else {
        p.changedMs.resize(payload.size());
        for (int i = 0; i < payload.size(); ++i)
            if (i >= p.bytes.size() || p.bytes.at(i) != payload.at(i))
                p.changedMs[i] = item.ms;
    }
    p.bytes = payload;
}

void TableView::tick()
{
    if (m_terminal) {
        // A replay's clock may run far ahead of the wall's: the screen keeps the wall's pace.
        if (!m_lastDraw.isValid() || m_lastDraw.elapsed() >= RedrawMs - 20)
            draw();
        return;
    }
    if (!std::exchange(m_heardSince, false))
        return;
    m_lastSnapshotMs = m_session.ms();
    for (const QString &line : render(0, 0))
        m_out << line << '\n';
    m_out << '\n';
    m_out.flush();
}

void TableView::draw()
{
    m_lastDraw.start();
    const QSize size = terminalSize();
    const QStringList lines = render(size.width(), size.height());
    QString screen = csi("H");
    for (int i = 0; i < lines.size(); ++i)
        screen += lines.at(i) + csi("K") + (i + 1 < lines.size() ? QStringLiteral("\r\n") : QString());
    screen += csi("J");
    m_out << screen;
    m_out.flush();
}

// Read again at every redraw: a resized window is drawn at its new size within 200 ms.
QSize TableView::terminalSize()
{
    winsize size = {};
    if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) != 0 || size.ws_col == 0 || size.ws_row == 0)
        return {80, 24};
    return {size.ws_col, size.ws_row};
}

void TableView::finish()
{
    if (m_finished)
        return;
    m_finished = true;
    m_timer.stop();
    leaveScreen();
    // A log whose last snapshot is of this very instant has it already.
    if (!m_terminal && !m_heardSince && m_lastSnapshotMs == m_session.ms())
        return;
    // The last table stays on the terminal as wide as it is, as long as it takes.
    for (const QString &line : render(m_terminal ? terminalSize().width() : 0, 0))
        m_out << line << '\n';
    m_out.flush();
}

} // namespace tool
