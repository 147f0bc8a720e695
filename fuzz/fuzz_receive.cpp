// libFuzzer target: whatever a box, a loose connector or a noisy line sends, cut into chunks
// however the input says, through the receive path of a real service on the in-process line.
// After each chunk, a command the input chooses; at the end, if it asks, every getter.
//
// Input: byte 0 holds in bits 0-2 the number k (0 to 7) of chunk-length bytes that follow; the
// rest is the stream, cut into chunks of those lengths (each 1 to 256) in turn, k = 0 being one
// whole chunk. After a chunk a command may run, as its bytes say (afterChunk). Bits 3 to 6 of
// byte 0 all set read every getter at the end, bits 4 to 7 all set turn the debug log lines on:
// a sixteenth of inputs each, as they cost most of an input's time. A new service for every
// input keeps a crash reproducible from its input alone.

#include "configmanager.h"
#include "serialport.h"
#include "simpleservice.h"
#include "vehiclesnapshot.h"
#include "virtualserialline.h"

#include <QCoreApplication>
#include <QLoggingCategory>

#include <cstddef>
#include <cstdint>

using canservice::SimpleService;

namespace {
void discard(QtMsgType, const QMessageLogContext &, const QString &) { }

// The commands whose frames depend on what was received, one at a time so that an input stays
// cheap and the fuzzer reaches every command across inputs: the chunk's last byte with bits 2
// and 3 set runs the kind in its bits 0-1 (3 in 16 chunks), the first byte picks the key and
// the middle byte is the value.
void afterChunk(SimpleService &s, const QByteArray &chunk)
{
    const auto choice = uint8_t(chunk.at(chunk.size() - 1));
    if ((choice & 0x0C) != 0x0C)
        return;
    const int which = uint8_t(chunk.at(0));
    const int value = uint8_t(chunk.at(chunk.size() / 2));
    switch (choice & 3) {
    case 1:
        s.sendAcKey(which % 37 - 1, value);
        break;
    case 2:
        s.sendCarSettingKey(which % 8 - 1, value % 2 ? value : value * 0x101);
        break;
    case 3:
        s.setUnitCmd(which % 8 - 1);
        break;
    default:
        break;
    }
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    static int argc = 1;
    static char name[] = "fuzz_receive";
    static char *argv[] = {name, nullptr};
    new QCoreApplication(argc, argv);
    qInstallMessageHandler(discard);
    canservice::ConfigManager::instance()->setSerialDevice(QStringLiteral("virtual:fuzz"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const size_t cuts = data[0] & 7;
    if (size < 1 + cuts)
        return 0;
    const uint8_t *lengths = data + 1;
    const char *stream = reinterpret_cast<const char *>(data + 1 + cuts);
    const size_t streamSize = size - 1 - cuts;

    // Log lines are formatted, then dropped, for the inputs that ask: the formatting is part of
    // what is fuzzed, and too slow to do for all.
    QLoggingCategory::defaultCategory()->setEnabled(QtDebugMsg, (data[0] & 0xF0) == 0xF0);
    canservice::SerialPort *port = nullptr;
    canservice::ConfigManager::instance()->setPortWatcher([&port](canservice::SerialPort *p) { port = p; });
    SimpleService service;
    canservice::VirtualSerialLine *line = port->virtualLine();
    size_t offset = 0, next = 0;
    while (offset < streamSize) {
        const size_t length = cuts == 0 ? streamSize : size_t(lengths[next++ % cuts]) + 1;
        const size_t take = length < streamSize - offset ? length : streamSize - offset;
        const QByteArray chunk(stream + offset, int(take));
        line->deliver(chunk);
        offset += take;
        afterChunk(service, chunk);
    }
    // Every getter, through the one reader the tools use, when the input asks.
    if ((data[0] & 0x78) == 0x78 && !tool::VehicleSnapshot::read(service).value(tool::VehicleSnapshot::Speed).isValid())
        __builtin_trap();
    return 0;
}
