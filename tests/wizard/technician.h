// A scripted technician for the smart-setup wizard: answers every step from what the virtual LED module
// of a simulated card shows (its rendered picture), never from the module's profile. Shared by the
// wizard's dialog test and the end-to-end test. UI thread; every wait is a bounded poll of the event
// loop. Each step function ends on the next step, or records a fatal test failure.
#pragma once

#include <QComboBox>
#include <QWidget>
#include <cstdint>
#include <string>
#include <vector>

#include "cardlink/exchange_service.h"
#include "simulator/sim.h"
#include "tests/support/messages.h"
#include "widgets/grid_control.h"
#include "widgets/localise_dialog.h"
#include "wizard/pages.h"
#include "wizard/smart_setup_wizard.h"

namespace technician {

template <typename W>
W* control(QWidget* parent, int id) {
    for (W* w : parent->findChildren<W*>())
        if (w->property(kControlIdProperty).toInt() == id) return w;
    return nullptr;
}

void choose(QComboBox* list, int index);
int hub_row(const char* name);
void click_cell(widgets::GridControl* grid, int row, int column);

// What is printed on the module and its board: all step 1 asks.
struct Label {
    std::uint32_t width = 0, height = 0, cables = 1, rgb = 1;
    std::string hub_board;  // "" on cards without the choice
    std::uint32_t decoder = 0;
};

// The brightest channel of any LED.
std::uint32_t brightness(const sim::ModulePicture& picture);
// Every LED the same colour.
bool single(const sim::ModulePicture& picture);
// Whether exactly one whole row and one whole column are lit, and nothing else.
bool one_cross(const sim::ModulePicture& picture);
// Whether the module shows the test line as it should be: from the top-right corner, the corner and the
// LED left of it, then one row down and one column left at a time, over the module's first
// `width` x `height` LEDs; and nothing else.
bool right_test_line(const sim::ModulePicture& picture, std::uint32_t width, std::uint32_t height);
// The one lit LED, if exactly one is lit.
std::optional<std::pair<std::uint32_t, std::uint32_t>> lit_led(const sim::ModulePicture& picture);

class Technician {
  public:
    Technician(wizard::SmartSetupWizard& wizard, sim::Simulator& simulator, std::string card_id,
               cardlink::ExchangeService& service, support::RecordingMessages& messages)
        : wizard_(wizard),
          sim_(simulator),
          card_id_(std::move(card_id)),
          service_(service),
          messages_(messages) {}

    bool idle() const { return !service_.busy(); }
    // What the module shows once the card has lit smart-setup pattern `pattern` with word 3 `value`
    // and every exchange has ended.
    sim::ModulePicture look(std::uint32_t pattern, std::uint32_t value);
    // What the module shows now, once every exchange has ended.
    sim::ModulePicture look_now();
    void next();

    void step1(const Label& label);
    void step2();
    void step3();
    void step4();
    // Counts the lit rows of the top band of `scan` rows; `lit` gets their numbers, `journal_from` the
    // card journal's end just before Next.
    void step5(std::uint32_t scan, std::vector<std::uint32_t>* lit = nullptr,
               std::uint64_t* journal_from = nullptr);
    void steps_1_to_5(const Label& label);
    // Step 6 from the list: tries the entries until the module shows one cross, then Next. Returns the
    // entry chosen (-1: none worked, or the list is empty; the wizard is then still on step 6).
    int step6_list();
    // Step 6 by tracing the grid until the picture is saved (or no lit point can be found on the
    // module). The grid then holds the numbers clicked.
    void step6_grid();
    // Step 7: the column and row walks from the pictures, then the test line judged: Yes when it is
    // right (`line_right` says what was seen). `column_lie`, when not 0, makes the technician click the
    // column cell whose index is XORed with it: a wrong, but supported, column order.
    void step7(bool* line_right = nullptr, int column_lie = 0);
    // Step 7's column "重新选择", then the walks again, answered truthfully.
    void redo_step7(bool* line_right = nullptr);

    // The last test line the technician judged, and the picture drawn as text ('#' lit), for messages.
    sim::ModulePicture test_line;
    static std::string drawn(const sim::ModulePicture& picture);

  private:
    // Points go out without an answer: before reading the picture, wait until the card has taken the
    // `frames` frames sent since mark().
    void mark() { mark_ = sim_.journal_end(); }
    void await_frames(std::uint64_t frames);
    std::optional<std::pair<std::uint32_t, std::uint32_t>> lit_after(std::uint64_t frames);

    std::uint64_t mark_ = 0;
    wizard::SmartSetupWizard& wizard_;
    sim::Simulator& sim_;
    std::string card_id_;
    cardlink::ExchangeService& service_;
    support::RecordingMessages& messages_;
};

}  // namespace technician
