#pragma once

#include <QStringList>
#include <future>
#include <thread>

// What the first window needs from files the desktop installed, read on
// threads of their own while Qt connects to the display and loads its
// plugins: fontconfig's configuration and font caches (a seventh of the time
// to the first window) and the MIME database (whose type names size the Type
// columns). Made before the application object, which is then made while
// fontconfig reads; readTypes() once it is made, since Qt takes the first
// thread that uses it for its main one. waitForFonts() before the first font
// is used, so that fontconfig is never begun twice at once; once fontconfig
// is read, the same thread lists the fonts into Qt's font database (under
// Qt's own lock) while the window's first widgets are made, which the first
// text then finds done. The MIME database locks for itself. The program's icon, which the window
// manager is given once the window is up, is decoded on a third while the first frame is drawn:
// giveProgramIcon() after show(), finish() before the application object goes.
class StartWarmUp {
public:
    StartWarmUp();
    ~StartWarmUp();
    StartWarmUp(const StartWarmUp&) = delete;
    StartWarmUp& operator=(const StartWarmUp&) = delete;
    // Reads the descriptions of these MIME types.
    void readTypes(const QStringList& names);
    // Connects to the session bus, which the first widget's accessibility
    // otherwise waits for on the main thread: finding the bus, or trying to
    // start one when there is none, takes milliseconds.
    void connectSessionBus();
    // Lets the fonts' thread list the fonts once fontconfig is read: the
    // application object stands.
    void listFonts();
    // Waits until fontconfig is read.
    void waitForFonts();
    // Decodes the program's icon and hands it, through the event loop, to
    // the application, which gives it to the window manager.
    void giveProgramIcon();
    // Waits for every thread.
    void finish();

private:
    std::promise<bool> m_listFonts; // false when the start ends first
    bool m_listFontsSaid = false;
    std::promise<void> m_fontconfigRead;
    std::future<void> m_fontconfigReadNow = m_fontconfigRead.get_future();
    std::thread m_fonts, m_types, m_icon, m_bus;
};
