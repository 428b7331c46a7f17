// Hands one screen-control block to an in-process card, framed as Vantor sends it.
#pragma once

#include <optional>

#include "common/frame.h"
#include "common/screen_control.h"
#include "simulator/card_model.h"

namespace simtest {

inline sim::HandleResult send_block(sim::CardModel& card, const screen_control::Words& w) {
    frame::Packet pk;
    pk.command = frame::CMD_SCREEN_CONTROL;
    pk.card_id = card.id();
    pk.wide_id = true;
    const auto bytes = screen_control::encode(w);
    pk.data.assign(bytes.begin(), bytes.end());
    std::optional<sim::IncomingFile> slot;
    return card.handle(*frame::decode(frame::encode_exact(pk, frame::check_form_for_id(card.id()))), slot, 0);
}

}  // namespace simtest
