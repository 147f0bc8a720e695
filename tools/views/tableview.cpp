#include "tableview.h"

#include "sessionmodel.h"
#include "signalcatalogue.h"
#include "screen.h"
#include "vehiclestate.h"

#include "canservicebase.h"

#include <algorithm>
#include <utility>

namespace tool {

namespace {
const int RedrawMs = 200; // five times a second at most
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
        m_screen = new Screen(m_out, this);
        m_screen->enter();
        connect(m_screen, &Screen::resumed, this, &TableView::draw);
    }
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
    const QSize size = Screen::size();
    m_screen->draw(render(size.width(), size.height()));
}

void TableView::finish()
{
    if (m_finished)
        return;
    m_finished = true;
    m_timer.stop();
    if (m_screen)
        m_screen->leave();
    // A log whose last snapshot is of this very instant has it already.
    if (!m_terminal && !m_heardSince && m_lastSnapshotMs == m_session.ms())
        return;
    // The last table stays on the terminal as wide as it is, as long as it takes.
    for (const QString &line : render(m_terminal ? Screen::size().width() : 0, 0))
        m_out << line << '\n';
    m_out.flush();
}

} // namespace tool
