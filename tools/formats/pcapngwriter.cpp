#include "pcapngwriter.h"

#include <QCoreApplication>
#include <QtEndian>

#include <cstring>

namespace tool {

namespace {
void put16(QByteArray &out, quint16 v)
{
    char b[2];
    qToLittleEndian(v, b);
    out.append(b, 2);
}

void put32(QByteArray &out, quint32 v)
{
    char b[4];
    qToLittleEndian(v, b);
    out.append(b, 4);
}

void pad(QByteArray &out)
{
    while (out.size() % 4)
        out.append('\0');
}

void option(QByteArray &out, quint16 code, const QByteArray &value)
{
    put16(out, code);
    put16(out, quint16(value.size()));
    out.append(value);
    pad(out);
}

void endOfOptions(QByteArray &out)
{
    put32(out, 0);
}
} // namespace

bool PcapngWriter::block(quint32 type, const QByteArray &body)
{
    QByteArray b;
    const quint32 total = quint32(body.size() + 12);
    put32(b, type);
    put32(b, total);
    b.append(body);
    put32(b, total);
    return m_file->append(b);
}

bool PcapngWriter::open(const QString &path)
{
    m_file = std::make_unique<OutputFile>(path);
    if (!m_file->open())
        return false;
    QByteArray section;
    put32(section, 0x1A2B3C4D); // byte-order magic
    put16(section, 1);
    put16(section, 0);
    put32(section, 0xFFFFFFFF); // section length unknown
    put32(section, 0xFFFFFFFF);
    option(section, 4, "canservice " + QCoreApplication::applicationVersion().toUtf8()); // shb_userappl
    endOfOptions(section);
    QByteArray interface;
    put16(interface, LinkTypeUser0);
    put16(interface, 0);
    put32(interface, 0); // no snapshot limit
    option(interface, 2, "CAN box serial line"); // if_name
    option(interface, 9, QByteArray(1, '\x06')); // if_tsresol: microseconds
    endOfOptions(interface);
    return block(0x0A0D0D0A, section) && block(0x00000001, interface) && m_file->flush();
}

// An enhanced packet block made in one buffer, kept from packet to packet: its header, the bytes
// padded to four, the direction, the comment if any, the end of options and the length again.
bool PcapngWriter::write(qint64 microseconds, bool inbound, const QByteArray &bytes,
                         const QString &comment)
{
    const QByteArray note = comment.isEmpty() ? QByteArray() : comment.toUtf8();
    const auto padded = [](int size) { return (size + 3) & ~3; };
    const int total = 12 + 20 + padded(bytes.size()) + 8 + (note.isEmpty() ? 0 : 4 + padded(note.size())) + 4;
    m_packet.assign(size_t(total), '\0');
    char *p = m_packet.data();
    const auto put = [&p](quint32 v) {
        qToLittleEndian(v, p);
        p += 4;
    };
    const auto put16 = [&p](quint16 v) {
        qToLittleEndian(v, p);
        p += 2;
    };
    put(0x00000006);
    put(quint32(total));
    put(0); // interface
    put(quint32(quint64(microseconds) >> 32));
    put(quint32(quint64(microseconds) & 0xFFFFFFFF));
    put(quint32(bytes.size()));
    put(quint32(bytes.size()));
    std::memcpy(p, bytes.constData(), size_t(bytes.size()));
    p += padded(bytes.size());
    put16(2); // epb_flags: the direction
    put16(4);
    put(inbound ? 1 : 2);
    if (!note.isEmpty()) {
        put16(1); // opt_comment
        put16(quint16(note.size()));
        std::memcpy(p, note.constData(), size_t(note.size()));
        p += padded(note.size());
    }
    p += 4; // the end of the options
    put(quint32(total));
    return m_file->append(QByteArray::fromRawData(m_packet.data(), total));
}

} // namespace tool
