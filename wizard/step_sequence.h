// The wizard frame's step rules: the current step, and which of Previous, Next and Finish are enabled.
// GUI-free.
// Threading: UI thread (plain values).
#pragma once

namespace wizard {

inline constexpr int kStepCount = 7;  // the wizard's whole sequence

class StepSequence {
  public:
    // `built`: how many steps have panels (the later ones are not reachable).
    explicit StepSequence(int built) : built_(built) {}

    int current() const { return current_; }
    int built() const { return built_; }
    bool previous_enabled() const { return previous_; }
    bool next_enabled() const { return next_; }
    bool finish_enabled() const { return finish_; }
    void set_finish_enabled(bool on) { finish_ = on; }

    // Shows step n (clamped to the built steps) and sets the buttons; returns the step shown.
    int show(int n);
    // After the current step accepted: the step to show, or the current one when the next has no panel.
    int after_accept() const { return current_ < built_ ? current_ + 1 : current_; }

  private:
    int built_;
    int current_ = 1;
    bool previous_ = false;
    bool next_ = true;
    bool finish_ = false;
};

}  // namespace wizard
