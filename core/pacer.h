#pragma once

#include <QElapsedTimer>

#include <functional>

namespace common {

/// Cuts long work by time, not by counts, so that the window answers within 100 ms on a slower machine as
/// well: called after each small piece of work (weighing pieces of some size, such as a row), it calls
/// pause whenever 25 ms have passed since its last pause; the clock is read every 64 pieces. Without a
/// pause function it never pauses. False: the work is given up.
class Pacer
{
public:
    /// A piece as large as a pause's worth of small ones: the clock is read at once.
    static constexpr unsigned Now = 64;

    explicit Pacer(std::function<bool()> pause) : m_pause(std::move(pause)) { m_clock.start(); }
    bool operator()(unsigned pieces = 1)
    {
        if (!m_pause || (m_pieces += pieces) < Now)
            return true;
        m_pieces = 0;
        if (m_clock.elapsed() < 25)
            return true;
        m_clock.restart();
        return m_pause();
    }

private:
    const std::function<bool()> m_pause;
    QElapsedTimer m_clock;
    unsigned m_pieces = 0;
};

} // namespace common
