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
    const QByteArray path = QFile::encodeName(m_direct ? m_target : partialName());
    m_fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_CLOEXEC | (m_direct ? 0 : O_TRUNC), 0666);
    if (m_fd < 0)
        return fail(errno);
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
