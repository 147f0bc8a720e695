#pragma once

namespace tool {

// Why a run could not start, as the session layer tells it; the command line turns each into its
// exit code.
enum class Failure {
    None,
    Other,
    DeviceNotFound,
    DevicePermission,
    DeviceBusy,
    StaleLock,
    PluginNotLoaded,
    PluginNotAService,
    CannotWrite,
};

} // namespace tool
