// A running ledcard-sim for the tests that mean a real card's behaviour: started with its cards and
// options, its journal read by command or from a point on, stopped when the test ends (or by stop()).
// Only the cards' own ports are bound unless the configuration asks for the discovery socket.
// Header-only: the tests that use it link ledcard_sim_core.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "simulator/sim.h"

namespace support {

class SimCards {
  public:
    // `count` cards at consecutive addresses from `first_address`, without the discovery socket; the
    // caller may change cards and options before start().
    static sim::SimulatorConfig config(std::size_t count, std::string_view first_address,
                                       sim::IdFamily family = sim::IdFamily::Mixed) {
        sim::SimulatorConfig c;
        c.cards = sim::make_cards(count, first_address, family);
        c.discovery_socket = false;
        return c;
    }

    // Starts the simulator; false, with the reason as a test failure, when it cannot.
    [[nodiscard]] bool start(sim::SimulatorConfig c) {
        cards_ = c.cards;
        auto started = sim::Simulator::start(std::move(c));
        if (!started) ADD_FAILURE() << "the simulator did not start: " << started.error;
        sim_ = std::move(started.simulator);
        return sim_ != nullptr;
    }
    void stop() { sim_.reset(); }
    bool running() const { return sim_ != nullptr; }

    sim::Simulator& operator*() const { return *sim_; }
    sim::Simulator* operator->() const { return sim_.get(); }

    std::size_t count() const { return cards_.size(); }
    const std::string& id(std::size_t card = 0) const { return cards_.at(card).id; }
    const std::string& ip(std::size_t card = 0) const { return cards_.at(card).address; }
    std::optional<sim::CardState> state(std::size_t card = 0) const { return sim_->state(id(card)); }

    // The journal's entries from seq `from` on, all or only those of `command`.
    std::vector<sim::JournalEntry> since(std::uint64_t from) const {
        std::vector<sim::JournalEntry> out;
        for (auto& e : sim_->journal())
            if (e.seq >= from) out.push_back(std::move(e));
        return out;
    }
    std::vector<sim::JournalEntry> frames(std::uint8_t command, std::uint64_t from = 0) const {
        std::vector<sim::JournalEntry> out;
        for (auto& e : sim_->journal())
            if (e.seq >= from && e.command == command) out.push_back(std::move(e));
        return out;
    }

  private:
    std::unique_ptr<sim::Simulator> sim_;
    std::vector<sim::CardConfig> cards_;
};

}  // namespace support
