#include "session.h"

#include "capture.h"

namespace tool {

// On a tap the head unit's writes come from a line of their own, not from the plugin: in the same
// frame view, recording and pcapng file, at the time they were heard.
void Session::headUnitWrote(const QByteArray &bytes, bool noise)
{
    if (!m_printer || bytes.isEmpty())
        return;
    if (m_capture && !m_writeFailed
        && !m_capture->append("# head unit " + CaptureReader::formatLine(m_printer->clockSeconds(), bytes).toLatin1()))
        writeFailure(*m_capture, "capture");
    if (!noise) {
        if (bytes.size() == 1)
            flushReceived(true);
        return show(bytes);
    }
    flushReceived(false);
    if (m_options.printer.frames && !m_options.printer.changesOnly)
        m_printer->note(QStringLiteral("hu > box  %1 noise").arg(QString::fromLatin1(bytes.toHex(' '))));
    record(m_printer->clockMs(), false, bytes, QStringLiteral("noise"));
}

} // namespace tool
