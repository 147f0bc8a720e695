#include "canbusmanager.h"

CanBusManager *CanBusManager::instance()
{
    static CanBusManager manager;
    return &manager;
}

CanBusManager::CanBusManager() : m_colors(defaultHwdColorDiffList()) { }

QList<canservice::HwdColorDiff> CanBusManager::getHwdColorDiffList() const
{
    return m_colors;
}

void CanBusManager::setHwdColorDiffList(const QList<canservice::HwdColorDiff> &list)
{
    m_colors = list;
}

QList<canservice::HwdColorDiff> CanBusManager::defaultHwdColorDiffList()
{
    return {
        {1, QStringLiteral("White"), 0xFFFFFF},   {2, QStringLiteral("Red"), 0xFF2020},
        {3, QStringLiteral("Orange"), 0xFF8C00},  {4, QStringLiteral("Yellow"), 0xFFD700},
        {5, QStringLiteral("Green"), 0x32CD32},   {6, QStringLiteral("Cyan"), 0x00CED1},
        {7, QStringLiteral("Blue"), 0x1E64FF},    {8, QStringLiteral("Purple"), 0x9932CC},
        {9, QStringLiteral("Pink"), 0xFF69B4},    {10, QStringLiteral("Ice blue"), 0xA0D8EF},
    };
}
