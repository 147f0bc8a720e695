#pragma once

#include <QByteArray>
#include <QString>

namespace tool {

// Byte i of a frame's data, unsigned; 0 beyond its end.
inline int dataByte(const QByteArray &data, int i)
{
    return i < data.size() ? int(quint8(data.at(i))) : 0;
}

// The name of a message the box sends, or "message 0x6a" for one it has no name for.
QString boxMessageName(int id);

// What the head unit's frame says, for the box's report: "box <- ...".
QString describeHostFrame(int id, const QByteArray &data);

} // namespace tool
