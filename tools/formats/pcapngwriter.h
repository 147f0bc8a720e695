#pragma once

#include "outputfile.h"

#include <QByteArray>
#include <QString>

#include <memory>
#include <vector>

namespace tool {

// A capture file Wireshark opens: pcapng, one interface of link type USER0 (147), one enhanced
// packet block per item with its time and its direction in the block's flags. Written here; no
// libpcap needed.
class PcapngWriter
{
public:
    static constexpr quint16 LinkTypeUser0 = 147;

    // Creates the file (as an OutputFile: complete or not at all under its name) with its
    // section and interface blocks; false with errorString() set.
    bool open(const QString &path);
    // One packet: microseconds since the epoch, inbound (from the box) or outbound, and a
    // comment when the bytes alone do not say what the receiver did with them.
    bool write(qint64 microseconds, bool inbound, const QByteArray &bytes,
               const QString &comment = QString());
    bool flush() { return m_file && m_file->flush(); }
    bool commit() { return m_file && m_file->commit(); }
    OutputFile *file() const { return m_file.get(); }
    QString errorString() const { return m_file ? m_file->errorString() : QString(); }

private:
    bool block(quint32 type, const QByteArray &body);

    std::unique_ptr<OutputFile> m_file;
    std::vector<char> m_packet; // the last packet's block, its room kept
};

} // namespace tool
