#include "canservicebase.h"

// Out of line so that the class's vtable and meta-object live in the host library.
CanServiceBase::~CanServiceBase() = default;
