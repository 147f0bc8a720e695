#pragma once

#include "mqttpublisher.h"

#include <QCommandLineParser>

namespace tool {

class Session;

// --mqtt URL and its companions, for every command that decodes.
void addMqttOptions(QCommandLineParser &parser);
// The broker's TLS and password options alone (--mqtt-ca, --mqtt-cert, --mqtt-key,
// --mqtt-password-file), for a command that names the broker otherwise.
void addMqttLinkOptions(QCommandLineParser &parser);
// The broker's URL (text, given as what: "--mqtt", "URL") with those options into link: -1 when
// the command should go on, else the exit code, already explained.
int chooseMqttLink(const QCommandLineParser &parser, const QString &command, const QString &text, const QString &what,
                   MqttLink::Settings *link);
// One level of a topic: not empty, no '/', '+', '#' or control characters.
bool isTopicLevel(const QString &text);
// Reads them into options (*wanted: --mqtt was given): -1 when the command should go on, else the
// exit code, already explained.
int chooseMqtt(const QCommandLineParser &parser, const QString &command, MqttPublisher::Options *options,
               bool *wanted);
// Starts publishing the loaded session (a child of it); live: times from the wall clock, else
// from the capture's start (epochMs, -1 when it does not say). The exit code when it cannot
// start, else -1.
int attachMqtt(const MqttPublisher::Options &options, Session &session, bool live, qint64 epochMs);
// The exit code of the broker's refusal in this run (login, certificate, a topic), or 0: the run
// goes on for its other views, and ends with it.
int mqttExitCode();

} // namespace tool
