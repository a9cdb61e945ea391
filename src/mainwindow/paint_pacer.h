#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>

// Lets a long run on the window's thread repaint the window every so often,
// with user input held back until the run ends.
class PaintPacer {
public:
    PaintPacer() { m_sincePaint.start(); }

    void keepPainted() {
        // Often enough for the eye; rarely enough to cost nothing next to the work.
        constexpr qint64 intervalMs = 40;
        if (m_sincePaint.elapsed() < intervalMs)
            return;
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        m_sincePaint.restart();
    }

private:
    QElapsedTimer m_sincePaint;
};
