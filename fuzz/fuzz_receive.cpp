// libFuzzer target: whatever a box, a loose connector or a noisy line sends, cut into chunks
// however the input says, through the receive path of a real service on the in-process line.
// After each chunk every getter is read and the commands that read state are run.
//
// Input: byte 0 holds the number k (0 to 7) of chunk-length bytes that follow; the rest is the
// stream, cut into chunks of those lengths (each 1 to 256) in turn. k = 0 is one whole chunk.

#include "configmanager.h"
#include "simpleservice.h"
#include "vehiclesnapshot.h"
#include "virtualserialline.h"

#include <QCoreApplication>

#include <cstddef>
#include <cstdint>

using canservice::SimpleService;

namespace {
void discard(QtMsgType, const QMessageLogContext &, const QString &) { }

void readEverything(SimpleService &s)
{
    // Every getter, through the one reader the tools use.
    const VehicleSnapshot snapshot = VehicleSnapshot::read(s);
    if (snapshot.fields().isEmpty())
        __builtin_trap();

    // The commands whose frames depend on what was received.
    for (int key = -1; key <= 35; ++key)
        s.sendAcKey(key, key);
    for (int key = -1; key <= 6; ++key)
        for (int value : {-1, 0, 1, 3, 9, 0x1234})
            s.sendCarSettingKey(key, value);
    for (int entry = -1; entry <= 6; ++entry)
        s.setUnitCmd(entry);
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    static int argc = 1;
    static char name[] = "fuzz_receive";
    static char *argv[] = {name, nullptr};
    new QCoreApplication(argc, argv);
    // Log lines are formatted, then dropped: the formatting is part of what is fuzzed.
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

    SimpleService service;
    canservice::VirtualSerialLine *line = canservice::VirtualSerialLine::lastOpened();
    size_t offset = 0, next = 0;
    while (offset < streamSize) {
        const size_t length = cuts == 0 ? streamSize : size_t(lengths[next++ % cuts]) + 1;
        const size_t take = length < streamSize - offset ? length : streamSize - offset;
        line->deliver(QByteArray(stream + offset, int(take)));
        offset += take;
        readEverything(service);
    }
    return 0;
}
