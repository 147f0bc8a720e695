#include "outputfile.h"

#include <QFile>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tool {

namespace {
// Gathered records leave in writes of about this size.
const int WriteBytes = 64 * 1024;

// The process's file mode mask, read without setting it (umask() would change it for a moment, for
// every thread).
mode_t currentUmask()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        for (QByteArray line = status.readLine(); !line.isEmpty(); line = status.readLine()) {
            if (line.startsWith("Umask:"))
                return mode_t(line.mid(6).trimmed().toUInt(nullptr, 8));
        }
    }
    return 022;
}
} // namespace

OutputFile::OutputFile(const QString &target) : m_target(target) { }

OutputFile::~OutputFile()
{
    abandon();
}

bool OutputFile::open()
{
    m_error.clear();
    // A device or a pipe (/dev/stdout, a FIFO) is written as it is: it cannot be replaced.
    struct stat node = {};
    m_direct = ::stat(QFile::encodeName(m_target).constData(), &node) == 0 && !S_ISREG(node.st_mode);
    if (m_direct) {
        // Opened without waiting: a FIFO with no reader would hold the open for ever, deaf to
        // Ctrl-C. Writes then wait for the reader as they would on any pipe.
        m_fd = ::open(QFile::encodeName(m_target).constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
        if (m_fd < 0 && errno == ENXIO) {
            m_error = QStringLiteral("it is a pipe that nobody reads; start its reader first");
            return false;
        }
        if (m_fd < 0)
            return fail(errno);
        ::fcntl(m_fd, F_SETFL, ::fcntl(m_fd, F_GETFL) & ~O_NONBLOCK);
        return true;
    }
    QByteArray path = QFile::encodeName(m_target) + ".XXXXXX.partial";
    m_fd = ::mkostemps(path.data(), 8, O_CLOEXEC);
    if (m_fd < 0)
        return fail(errno);
    m_partial = QFile::decodeName(path);
    // Made for this user alone; the file it becomes is as any other the user writes.
    ::fchmod(m_fd, 0666 & ~currentUmask());
    return true;
}

bool OutputFile::fail(int error)
{
    m_error = QString::fromLocal8Bit(std::strerror(error));
    return false;
}

bool OutputFile::append(const QByteArray &record)
{
    if (m_fd < 0 || failed())
        return false;
    m_buffer += record;
    m_recordEnds.append(m_buffer.size());
    return m_buffer.size() < WriteBytes || flush();
}

bool OutputFile::flush()
{
    if (m_fd < 0 || failed())
        return false;
    qint64 done = 0;
    while (done < m_buffer.size()) {
        const ssize_t n = ::write(m_fd, m_buffer.constData() + done, size_t(m_buffer.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const int error = n < 0 ? errno : ENOSPC;
            // What reached the disk may end inside a record: back to the last whole one.
            int kept = 0;
            for (const int end : qAsConst(m_recordEnds))
                if (end <= done)
                    kept = end;
            m_whole += kept;
            if (!m_direct && ::ftruncate(m_fd, m_whole) != 0) { }
            m_buffer.clear();
            m_recordEnds.clear();
            return fail(error);
        }
        done += n;
    }
    m_whole += m_buffer.size();
    m_buffer.clear();
    m_recordEnds.clear();
    return true;
}

bool OutputFile::commit()
{
    if (!flush())
        return false;
    if (!m_direct && ::fsync(m_fd) != 0 && errno != EINVAL)
        return fail(errno);
    ::close(m_fd);
    m_fd = -1;
    if (!m_direct && ::rename(QFile::encodeName(partialName()).constData(), QFile::encodeName(m_target).constData()) != 0)
        return fail(errno);
    return true;
}

void OutputFile::discard()
{
    abandon();
    if (!m_direct)
        ::unlink(QFile::encodeName(partialName()).constData());
}

void OutputFile::abandon()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

} // namespace tool
