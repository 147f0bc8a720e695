// The files a session writes beside its output: the capture for replay and the pcapng for
// Wireshark, written whole or kept as partial, and a write that fails ends the run.
#include "session.h"

#include "capture.h"

namespace tool {

void Session::record(qint64 ms, bool inbound, const QByteArray &bytes, const QString &comment)
{
    if (m_options.pcapng.isEmpty() || m_writeFailed)
        return;
    const qint64 us = m_options.pcapngEpochUs + ms * 1000;
    if (!m_pcapng.write(us, inbound, bytes, comment))
        writeFailure(*m_pcapng.file(), "pcapng file");
}

// The files are checked before anything runs: a folder that is not there, a file that takes no
// writing, a full disk, each is said at once.
bool Session::openOutputs()
{
    // A run that cannot start leaves no file behind.
    const auto discardAll = [this] {
        if (m_pcapng.file())
            m_pcapng.file()->discard();
        if (m_capture)
            m_capture->discard();
    };
    if (!m_options.pcapng.isEmpty() && !m_pcapng.open(m_options.pcapng)) {
        tool::err() << "canservice: cannot write the pcapng file " << m_options.pcapng << ": "
                    << m_pcapng.errorString() << '\n';
        discardAll();
        return false;
    }
    if (!m_options.record.isEmpty()) {
        m_capture = std::make_unique<OutputFile>(m_options.record);
        const QByteArray header = CaptureReader::header()
                + (m_options.pcapngEpochUs > 0 ? CaptureReader::startLine(m_options.pcapngEpochUs) : QByteArray());
        if (!m_capture->open() || !m_capture->append(header) || !m_capture->flush()) {
            tool::err() << "canservice: cannot write the capture " << m_options.record << ": "
                        << m_capture->errorString() << '\n';
            discardAll();
            return false;
        }
    }
    if (m_options.printer.live) {
        connect(&m_flushTimer, &QTimer::timeout, this, [this] {
            if (m_capture && !m_writeFailed && !m_capture->flush())
                writeFailure(*m_capture, "capture");
            if (!m_options.pcapng.isEmpty() && !m_writeFailed && !m_pcapng.flush())
                writeFailure(*m_pcapng.file(), "pcapng file");
        });
        m_flushTimer.start(1000);
    }
    return true;
}

// A write failed: what was written stays whole under the partial name, and the run ends.
void Session::writeFailure(const OutputFile &file, const char *what)
{
    if (m_writeFailed)
        return;
    m_writeFailed = true;
    m_failedOutput = &file;
    tool::err() << "canservice: writing the " << what << " " << file.target() << " failed: "
                << file.errorString() << "; what was written before is kept whole in "
                << file.partialName() << '\n';
    tool::err().flush();
    QTimer::singleShot(0, this, [this] { finish(false, false); });
}

void Session::closeOutputs(bool complete)
{
    m_flushTimer.stop();
    const auto close = [this, complete](OutputFile *file, const char *what) {
        if (!file || !file->isOpen())
            return;
        if (complete && file->commit())
            return;
        if (complete)
            return writeFailure(*file, what);
        file->flush();
        file->abandon();
        // The file whose write failed was named with its reason; the other one is named here.
        if (file != m_failedOutput)
            tool::err() << "canservice: the " << what << " " << file->target()
                        << " is not complete; what was written is kept in " << file->partialName() << '\n';
    };
    close(m_capture.get(), "capture");
    if (!m_options.pcapng.isEmpty())
        close(m_pcapng.file(), "pcapng file");
}

} // namespace tool
