#pragma once

#include "failure.h"

// Exit codes of the canservice tool, one per kind of failure a person can meet.
namespace exitcode {
enum : int {
    Ok = 0,
    Failure = 1,
    Usage = 2,
    DeviceNotFound = 3,
    NoDisplay = 3, // the dashboard without a display: nothing to show it on
    DevicePermission = 4,
    DeviceBusy = 5,
    PluginNotLoaded = 6,
    PluginNotAService = 7,
    BadCapture = 8,
    BadScenario = 9,
    CannotWrite = 10,
    NoPseudoTerminal = 11,
    NoDataFromBox = 12,
    // A file to read that is not there, or not readable (no permission, a folder): said as such,
    // not taken for a malformed one.
    CannotRead = 13,
    // A device's lock left by a program that is gone, which this user may not remove.
    StaleLock = 14,
    // dashboard --check-layout found a page a driver or an engineer cannot read right.
    LayoutFaults = 15,
    // The MQTT broker refused the login (user, password), the TLS handshake (a certificate), or
    // a topic (its ACL). The run went on for its other views.
    MqttRefused = 16,
    MqttCertificate = 17,
    MqttDenied = 18,
    // The run ended before the broker took its changes, and without --mqtt-queue they are lost.
    MqttUnreached = 19,
    // Ctrl-C, SIGTERM or SIGHUP: the command ended early, after its summary, as shells count it.
    Interrupted = 130,
    // The reader of standard output went away (`| head`): the command ended early, its summary
    // on standard error; as shells count an end by SIGPIPE.
    BrokenPipe = 141,
};

// How a session that ran to its end, or was ended, leaves.
template <typename Session>
int ofEnd(const Session &session)
{
    return session.outputLost() ? BrokenPipe : session.interrupted() ? Interrupted : Ok;
}

// The exit code for a run that could not start.
constexpr int of(tool::Failure failure)
{
    switch (failure) {
    case tool::Failure::None:
        return Ok;
    case tool::Failure::DeviceNotFound:
        return DeviceNotFound;
    case tool::Failure::DevicePermission:
        return DevicePermission;
    case tool::Failure::DeviceBusy:
        return DeviceBusy;
    case tool::Failure::StaleLock:
        return StaleLock;
    case tool::Failure::PluginNotLoaded:
        return PluginNotLoaded;
    case tool::Failure::PluginNotAService:
        return PluginNotAService;
    case tool::Failure::CannotWrite:
        return CannotWrite;
    case tool::Failure::Other:
        break;
    }
    return Failure;
}
} // namespace exitcode
