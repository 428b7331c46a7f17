// A display of the test's own: Xvfb on a display number it picks itself, stopped when the
// object goes. DISPLAY is pointed at it while it runs.
#pragma once

#include <sys/types.h>

#include <string>

namespace xvfb {

class Server {
  public:
    // Starts Xvfb with one screen of width x height x depth and waits (bounded) until it takes
    // connections. running() tells whether that worked; a test skips when it did not.
    // `visual_class` (X's numbers: 3 PseudoColor, 4 TrueColor, 5 DirectColor, ...) sets the screen's
    // default visual; -1 leaves Xvfb's own choice for the depth.
    Server(int width, int height, int depth = 24, int visual_class = -1);
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    bool running() const { return pid_ > 0; }
    const std::string& display() const { return display_; }
    const std::string& why_not() const { return why_not_; }

  private:
    pid_t pid_ = -1;
    std::string display_;
    std::string why_not_;
    std::string old_display_;
    bool had_display_ = false;
};

}  // namespace xvfb
