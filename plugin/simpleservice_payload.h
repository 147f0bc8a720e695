#pragma once

#include <QByteArray>

#include <cstring>

namespace canservice {

// Payload bytes are unsigned, and a byte at or beyond the end reads as 0: a short message can
// never make a decoder read past its buffer.
inline int byteAt(const QByteArray &data, int index)
{
    return index >= 0 && index < data.size() ? static_cast<quint8>(data.at(index)) : 0;
}

inline bool bitAt(const QByteArray &data, int index, int bit)
{
    return (byteAt(data, index) >> bit) & 1;
}

// Replaces the bytes of a stored message with a payload's, in the stored array's own buffer:
// the same value as an assignment, without sharing the parser's buffer, so the parser's next
// frame does not have to copy it away first.
inline void storePayload(QByteArray &stored, const QByteArray &payload)
{
    if (stored.size() != payload.size())
        stored.resize(payload.size());
    if (!payload.isEmpty())
        std::memcpy(stored.data(), payload.constData(), size_t(payload.size()));
}

} // namespace canservice
