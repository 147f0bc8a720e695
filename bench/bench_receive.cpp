// What the receive path costs per frame: parser, acknowledgement, dispatch, link bookkeeping,
// decoder and the host's signal to a connected slot, on a real service on the in-process line;
// beside a bare parser that only checks frames, as the floor.
//
//   bench_receive                         Google Benchmark run, figures as counters
//   bench_receive --frames N              feeds the traffic mix of N frames once (for callgrind)
//   bench_receive --capture N             prints the traffic mix of N frames as a timed capture

#include "canboxframe.h"
#include "canservicebase.h"
#include "configmanager.h"
#include "serialport.h"
#include "simpleservice.h"
#include "virtualserialline_p.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QRandomGenerator>

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <functional>

// Every heap allocation of the process passes here, C++ and Qt alike: glibc's malloc is
// interposed by these definitions, which count and forward.
extern "C" {
void *__libc_malloc(size_t);
void *__libc_calloc(size_t, size_t);
void *__libc_realloc(void *, size_t);
void *__libc_memalign(size_t, size_t);
}
namespace {
std::atomic<long> g_allocations{0};
}
extern "C" void *malloc(size_t size)
{
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_malloc(size);
}
extern "C" void *calloc(size_t n, size_t size)
{
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_calloc(n, size);
}
extern "C" void *realloc(void *p, size_t size)
{
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_realloc(p, size);
}
extern "C" int posix_memalign(void **p, size_t alignment, size_t size)
{
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    *p = __libc_memalign(alignment, size);
    return *p ? 0 : ENOMEM;
}

namespace {
const double LineBytesPerSecond = 3840.0; // 38400 baud, 10 bits a byte

QByteArray frame(int id, const QByteArray &payload)
{
    return canbox::frame(quint8(id), payload);
}

// One message of a kind, varied by n so that change tests go both ways.
QByteArray message(int kind, int n)
{
    switch (kind) {
    case 0x20: // keys: press and release in turn
        return frame(0x20, QByteArray(1, char(5 + (n / 2) % 3)) + char((n + 1) % 2));
    case 0x22:
        return frame(0x22, QByteArray::fromHex("0208") + char(n % 32) + char((n / 3) % 32));
    case 0x23:
        return frame(0x23, QByteArray::fromHex("0102") + char(n % 32) + QByteArray(3, '\0'));
    case 0x24:
        return frame(0x24, QByteArray(1, char((n % 2) ? 0x44 : 0x00)) + QByteArray(4, '\0'));
    case 0x29:
        return frame(0x29, QByteArray::fromHex("4823") + char(40 + n % 8) + QByteArray::fromHex("00080029") + char(n % 9));
    case 0x2F:
        return frame(0x2F, QByteArray(1, char(n)) + char(n >> 8));
    case 0x30:
        return frame(0x30, QByteArray("CB 3.1"));
    case 0x41:
        return frame(0x41, QByteArray(1, '\x03') + char(n >> 8) + char(n));
    case 0x50:
        return frame(0x50, QByteArray::fromHex("3000") + char(n) + QByteArray(3, '\0'));
    case 0x09:
        return frame(0x09, QByteArray(8, '\x01') + char(n));
    case 0xF6:
    default:
        return frame(0xF6, QByteArray(1, char(n)) + char(n % 3) + '\0');
    }
}

// A running car: speed and rotation most, then climate and radar, doors, keys, trip computer.
QList<QByteArray> trafficMix(int frames)
{
    const int weights[][2] = {{0xF6, 30}, {0x41, 30}, {0x29, 10}, {0x22, 10}, {0x23, 5},
                              {0x24, 5},  {0x20, 5},  {0x50, 5}};
    QList<QByteArray> chunks;
    QRandomGenerator random(42);
    for (int n = 0; n < frames; ++n) {
        int pick = int(random.bounded(100));
        for (const auto &w : weights) {
            if (pick < w[1]) {
                chunks << message(w[0], n);
                break;
            }
            pick -= w[1];
        }
    }
    return chunks;
}

QList<QByteArray> oneKind(int kind, int frames)
{
    QList<QByteArray> chunks;
    for (int n = 0; n < frames; ++n)
        chunks << message(kind, n);
    return chunks;
}

QList<QByteArray> noise(int chunks)
{
    QList<QByteArray> out;
    QRandomGenerator random(7);
    for (int c = 0; c < chunks; ++c) {
        QByteArray bytes(16, '\0');
        for (char &b : bytes)
            b = char(random.bounded(256));
        out << bytes;
    }
    return out;
}

// The floor: a parser that checks frames and does nothing else.
struct BareParser
{
    int state = 0, remain = 0, sum = 0, accepted = 0;
    void feed(const char *data, int size)
    {
        for (int i = 0; i < size; ++i) {
            const int b = quint8(data[i]);
            switch (state) {
            case 0:
                state = b == 0x2E ? 1 : 0;
                break;
            case 1:
                sum = b;
                state = 2;
                break;
            case 2:
                sum += b;
                remain = b;
                state = remain ? 3 : 4;
                break;
            case 3:
                sum += b;
                state = --remain ? 3 : 4;
                break;
            default:
                accepted += b == (~sum & 0xFF);
                state = 0;
            }
        }
    }
};

void discard(QtMsgType, const QMessageLogContext &, const QString &) { }

struct Service
{
    explicit Service(bool debug)
    {
        QLoggingCategory::defaultCategory()->setEnabled(QtDebugMsg, debug);
        qInstallMessageHandler(discard);
        canservice::ConfigManager::instance()->setSerialDevice(QStringLiteral("virtual:bench"));
        canservice::SerialPort *port = nullptr;
        canservice::ConfigManager::instance()->setPortWatcher([&port](canservice::SerialPort *p) { port = p; });
        service = new canservice::SimpleService;
        canservice::ConfigManager::instance()->setPortWatcher(nullptr);
        line = port->virtualLine();
        // The head unit listens to everything the decoders announce.
        for (auto signal : {&CanServiceBase::speedChanged, &CanServiceBase::rotateChanged,
                            &CanServiceBase::doorChanged, &CanServiceBase::acStatusChanged,
                            &CanServiceBase::acManualClimateModeChanged, &CanServiceBase::sigRadarChanged,
                            &CanServiceBase::drivingDataChanged, &CanServiceBase::sigVersionData,
                            &CanServiceBase::timeMileageInformation, &CanServiceBase::unitDataChanged})
            QObject::connect(service, signal, [this] { ++heard; });
        QObject::connect(service, &CanServiceBase::keyEvent, [this] { ++heard; });
    }
    ~Service() { delete service; }
    // One acknowledgement goes back for every frame; counted by the line, so that the count
    // costs the receive path nothing.
    qint64 acknowledged() const { return canservice::VirtualSerialLinePrivate::get(line)->bytesWritten; }

    canservice::SimpleService *service;
    canservice::VirtualSerialLine *line;
    long heard = 0;
};

double g_bareNsPerFrame = 0;

void run(benchmark::State &state, const QList<QByteArray> &chunks, bool debug)
{
    Service s(debug);
    qint64 bytes = 0;
    for (const QByteArray &c : chunks)
        bytes += c.size();
    // Warm up: the first pass sizes every buffer.
    for (const QByteArray &c : chunks)
        s.line->deliver(c);
    const qint64 acksBefore = s.acknowledged();
    const long allocationsBefore = g_allocations.load();
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        for (const QByteArray &c : chunks)
            s.line->deliver(c);
    }
    const double ns = std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count();
    const long allocations = g_allocations.load() - allocationsBefore;
    // One acknowledgement byte goes back for every frame.
    const double frames = double(s.acknowledged() - acksBefore);
    const double passes = double(state.iterations());
    const double bytesPerSecond = double(bytes) * passes / (ns * 1e-9);
    state.SetBytesProcessed(int64_t(double(bytes) * passes));
    state.counters["allocs/frame"] = frames > 0 ? allocations / frames : allocations / passes;
    state.counters["ns/frame"] = frames > 0 ? ns / frames : ns / passes;
    state.counters["x line rate"] = bytesPerSecond / LineBytesPerSecond;
    if (frames > 0 && g_bareNsPerFrame > 0)
        state.counters["x bare"] = ns / frames / g_bareNsPerFrame;
    benchmark::DoNotOptimize(s.heard);
}

void registerAll(int frames)
{
    // First, so that the service runs after it divide by this run's own figure.
    benchmark::RegisterBenchmark("bare parser/mix", [=](benchmark::State &st) {
        const QList<QByteArray> chunks = trafficMix(frames);
        BareParser parser;
        const auto start = std::chrono::steady_clock::now();
        for (auto _ : st)
            for (const QByteArray &c : chunks)
                parser.feed(c.constData(), c.size());
        const double ns = std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count();
        benchmark::DoNotOptimize(parser.accepted);
        st.counters["ns/frame"] = ns / (double(st.iterations()) * chunks.size());
        // The floor every service run of this same run is compared with.
        g_bareNsPerFrame = ns / (double(st.iterations()) * chunks.size());
    });
    for (const bool debug : {false, true}) {
        const char *mode = debug ? "debug on" : "debug off";
        benchmark::RegisterBenchmark((std::string("mix/") + mode).c_str(),
                                     [=](benchmark::State &st) { run(st, trafficMix(frames), debug); });
        for (const auto &[kind, name] : std::initializer_list<std::pair<int, const char *>>{
                     {0xF6, "speed"}, {0x41, "rotation"}, {0x24, "doors"}, {0x2F, "steering"},
                     {0x29, "climate"}, {0x22, "radar"}, {0x20, "keys"}, {0x09, "mileage"},
                     {0x50, "driving data"}, {0x30, "version"}}) {
            benchmark::RegisterBenchmark((std::string(name) + "/" + mode).c_str(),
                                         [=](benchmark::State &st) { run(st, oneKind(kind, frames), debug); });
        }
        benchmark::RegisterBenchmark((std::string("noise/") + mode).c_str(),
                                     [=](benchmark::State &st) { run(st, noise(frames), debug); });
    }
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    // The traffic mix as a timed capture at the line's rate, for the tool's replay to read.
    if (argc == 3 && std::strcmp(argv[1], "--capture") == 0) {
        qint64 bytes = 0;
        for (const QByteArray &c : trafficMix(std::atoi(argv[2]))) {
            std::printf("%.6f %s\n", double(bytes) / LineBytesPerSecond, c.toHex(' ').constData());
            bytes += c.size();
        }
        return 0;
    }
    // For callgrind: the traffic mix once, debug output off, or on with --debug.
    if (argc >= 3 && std::strcmp(argv[1], "--frames") == 0) {
        const QList<QByteArray> chunks = trafficMix(std::atoi(argv[2]));
        Service s(argc == 4 && std::strcmp(argv[3], "--debug") == 0);
        qint64 bytes = 0;
        for (const QByteArray &c : chunks) {
            s.line->deliver(c);
            bytes += c.size();
        }
        std::printf("frames %lld bytes %lld\n", s.acknowledged(), bytes);
        return s.acknowledged() > 0 ? 0 : 1;
    }
    const int frames = 1000;
    registerAll(frames);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
