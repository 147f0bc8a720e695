#pragma once

#include <QByteArray>

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

} // namespace canservice
