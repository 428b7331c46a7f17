#include "wizard/step_sequence.h"

namespace wizard {

int StepSequence::show(int n) {
    if (n > built_) n = built_;
    if (n < 1) n = 1;
    current_ = n;
    previous_ = true;
    // Next stays on the last built step while later steps exist: it still runs that step's accept.
    next_ = n < kStepCount;
    if (n >= kStepCount)
        current_ = kStepCount;
    else if (n < 2)
        previous_ = false;
    return current_;
}

}  // namespace wizard
