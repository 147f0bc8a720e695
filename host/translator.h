#pragma once

#include "canservice_host_export.h"

#include <QString>

// Display texts of the head unit, by text number.
class CANSERVICE_HOST_EXPORT Translator
{
public:
    // The English text for the number, or an empty text for a number the head unit lacks.
    static QString translate(int id);
};
