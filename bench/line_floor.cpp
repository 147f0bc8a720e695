// The least a head unit can do on a line, as a yardstick for scripts/linecost.sh: wait for bytes,
// read them, check frames, and answer the frames of each read with one write of acknowledgements.
// No Qt, no plugin: what it costs is the system's part of every head unit's cost on that line.
//
//   line_floor DEVICE        (until SIGINT or SIGTERM)

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {
volatile sig_atomic_t g_stop = 0;
void onSignal(int)
{
    g_stop = 1;
}

// Header 0x2E, identifier, length, data, checksum: the complement of the sum of identifier,
// length and data.
struct Frames
{
    int state = 0, remain = 0, sum = 0;
    // Returns 1 for a byte that completes a good frame.
    int take(unsigned char b)
    {
        switch (state) {
        case 0:
            state = b == 0x2E ? 1 : 0;
            return 0;
        case 1:
            sum = b;
            state = 2;
            return 0;
        case 2:
            sum += b;
            remain = b;
            state = remain ? 3 : 4;
            return 0;
        case 3:
            sum += b;
            state = --remain ? 3 : 4;
            return 0;
        default:
            state = 0;
            return b == (~sum & 0xFF);
        }
    }
};
} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: line_floor DEVICE\n");
        return 2;
    }
    const int fd = ::open(argv[1], O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        std::fprintf(stderr, "line_floor: %s: %s\n", argv[1], std::strerror(errno));
        return 3;
    }
    termios raw = {};
    if (::tcgetattr(fd, &raw) != 0) {
        std::fprintf(stderr, "line_floor: %s: %s\n", argv[1], std::strerror(errno));
        return 3;
    }
    ::cfmakeraw(&raw);
    ::cfsetspeed(&raw, B38400);
    ::tcsetattr(fd, TCSANOW, &raw);
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);

    Frames frames;
    unsigned char in[4096], acks[4096];
    long accepted = 0;
    pollfd wait = {fd, POLLIN, 0};
    while (!g_stop) {
        if (::poll(&wait, 1, -1) <= 0)
            continue;
        const ssize_t n = ::read(fd, in, sizeof in);
        if (n < 0 && (errno == EAGAIN || errno == EINTR))
            continue;
        if (n <= 0) {
            // The line hung up (end of file) or failed: there is nothing more to answer.
            if (n < 0)
                std::fprintf(stderr, "line_floor: %s: %s\n", argv[1], std::strerror(errno));
            break;
        }
        int count = 0;
        for (ssize_t i = 0; i < n; ++i)
            if (frames.take(in[i]))
                acks[count++] = 0xFF;
        if (count > 0 && ::write(fd, acks, size_t(count)) < 0)
            break;
        accepted += count;
    }
    std::printf("frames accepted %ld\n", accepted);
    ::close(fd);
    return 0;
}
