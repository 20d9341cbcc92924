#pragma once

#include <QtGlobal>
#include <optional>
#include <string>

namespace app {

// A desktop program needs a display. These say so in one line, instead of letting the toolkit
// abort with its own text, both when no display is named and when the one named cannot be reached.
//
//     if (const auto line = app::noDisplayNamed()) { std::fputs(line->c_str(), stderr); return 1; }
//     app::DisplayConnection connection;   // held while QApplication reaches the window system
//     QApplication application(argc, argv);
//     connection.established();

// The exit status of the program when it finds no display.
inline constexpr int kNoDisplayStatus = 1;

// The line (ending in a line feed) when neither DISPLAY nor WAYLAND_DISPLAY names a display and no
// platform is chosen through QT_QPA_PLATFORM; nothing otherwise.
std::optional<std::string> noDisplayNamed();

// The line when the display that the environment names cannot be reached.
std::string displayUnreachable();

// While it lives, Qt's messages are held back. A fatal one (Qt found no window system to open
// windows on) prints displayUnreachable() alone to stderr and ends the program at once with
// kNoDisplayStatus. established() hands the held messages on to the handler that was there before
// and puts it back; so does the destructor.
class DisplayConnection {
  public:
    DisplayConnection();
    ~DisplayConnection();
    DisplayConnection(const DisplayConnection&) = delete;
    DisplayConnection& operator=(const DisplayConnection&) = delete;

    void established();

  private:
    QtMessageHandler previous_ = nullptr;
    bool active_ = false;
};

}  // namespace app
