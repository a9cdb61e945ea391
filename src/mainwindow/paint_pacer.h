#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>

// Lets a long run on the window's thread repaint the window every so often,
// by default with user input held back until the run ends.
class PaintPacer {
public:
    explicit PaintPacer(QEventLoop::ProcessEventsFlags flags = QEventLoop::ExcludeUserInputEvents)
        : m_flags(flags) {
        m_sincePaint.start();
    }

    void keepPainted() {
        // Often enough for the eye; rarely enough to cost nothing next to the work.
        constexpr qint64 intervalMs = 40;
        if (m_sincePaint.elapsed() < intervalMs)
            return;
        QCoreApplication::processEvents(m_flags);
        m_sincePaint.restart();
    }

private:
    QEventLoop::ProcessEventsFlags m_flags;
    QElapsedTimer m_sincePaint;
};
