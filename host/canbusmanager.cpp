#include "canbusmanager.h"

CanBusManager *CanBusManager::instance()
{
    static CanBusManager manager;
    return &manager;
}

class CanBusManager::Private
{
public:
    QList<canservice::HwdColorDiff> colors = CanBusManager::defaultHwdColorDiffList();
};

CanBusManager::CanBusManager() : d(std::make_unique<Private>()) { }

CanBusManager::~CanBusManager() = default;

QList<canservice::HwdColorDiff> CanBusManager::getHwdColorDiffList() const
{
    return d->colors;
}

void CanBusManager::setHwdColorDiffList(const QList<canservice::HwdColorDiff> &list)
{
    d->colors = list;
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
