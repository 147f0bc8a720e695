#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>

namespace tool {

// A file the tool writes (a capture, a pcapng file), never left half-written: it is written to a
// file of its own made beside the target, TARGET.XXXXXX.partial (created exclusively, so two runs
// never share one), and renamed over the target only when complete, so an earlier file of that
// name stays whole until then, and of two runs to one target the target is one run's whole output.
// It is written in whole records (a capture line, a pcapng block): when a write fails, a full disk
// or a file size limit, the partial file is cut back to its last whole record and kept, a valid
// file, under the name partialName() gives. A target that is a device or a pipe is written in
// place; a pipe nobody reads is refused rather than waited for.
class OutputFile
{
public:
    explicit OutputFile(const QString &target);
    ~OutputFile();
    OutputFile(const OutputFile &) = delete;
    OutputFile &operator=(const OutputFile &) = delete;

    // Creates the partial file; false with errorString() set.
    bool open();
    bool isOpen() const { return m_fd >= 0; }
    // One whole record, kept in memory until flush() or until enough has gathered.
    bool append(const QByteArray &record);
    // Writes what has gathered; false with errorString() set (the system's reason).
    bool flush();
    // Flushes, syncs and renames the file over the target.
    bool commit();
    // Leaves the partial file as it is, for a run that failed.
    void abandon();
    // Removes the partial file, for a run that never started.
    void discard();

    QString target() const { return m_target; }
    // Known once open() has made it.
    QString partialName() const { return m_direct ? m_target : m_partial; }
    QString errorString() const { return m_error; }
    bool failed() const { return !m_error.isEmpty(); }

private:
    bool fail(int error);

    QString m_target;
    QString m_partial;
    int m_fd = -1;
    QByteArray m_buffer;
    QVector<int> m_recordEnds; // where each record in the buffer ends
    qint64 m_whole = 0; // bytes on disk that end with a whole record
    bool m_direct = false; // a device or a pipe, written in place
    QString m_error;
};

} // namespace tool
