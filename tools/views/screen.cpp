#include "screen.h"

#include "suspend.h"

#include <sys/ioctl.h>
#include <unistd.h>

namespace tool {

Screen::Screen(QTextStream &out, QObject *parent) : QObject(parent), m_out(out)
{
    // Ctrl-Z gives the shell its screen back; fg takes it up again.
    auto *suspend = new Suspend(this);
    connect(suspend, &Suspend::suspending, this, &Screen::leave);
    connect(suspend, &Suspend::resumed, this, [this] {
        enter();
        emit resumed();
    });
}

Screen::~Screen()
{
    leave();
}

void Screen::enter()
{
    m_out << csi("?1049h") << csi("?25l") << csi("H") << csi("2J");
    m_out.flush();
    m_on = true;
}

void Screen::leave()
{
    if (!m_on)
        return;
    m_on = false;
    m_out << csi("?25h") << csi("?1049l");
    m_out.flush();
}

void Screen::draw(const QStringList &lines)
{
    QString screen = csi("H");
    for (int i = 0; i < lines.size(); ++i)
        screen += lines.at(i) + csi("K") + (i + 1 < lines.size() ? QStringLiteral("\r\n") : QString());
    screen += csi("J");
    m_out << screen;
    m_out.flush();
}

QSize Screen::size()
{
    winsize size = {};
    if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) != 0 || size.ws_col == 0 || size.ws_row == 0)
        return {80, 24};
    return {size.ws_col, size.ws_row};
}

} // namespace tool
