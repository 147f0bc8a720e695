#pragma once

#include <QtCore/qglobal.h>

#if defined(CANSERVICE_HOST_LIBRARY)
#  define CANSERVICE_HOST_EXPORT Q_DECL_EXPORT
#else
#  define CANSERVICE_HOST_EXPORT Q_DECL_IMPORT
#endif
