// Test fixture: one ledcard-sim card on a loopback address, its files under the test's folder.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "cardlink/card_exchange.h"
#include "simulator/sim.h"

namespace testing_support {

class SimCard {
  public:
    explicit SimCard(const std::filesystem::path& folder, const std::string& id = "A901-200-00001",
                     const sim::Faults& faults = {}) {
        sim::SimulatorConfig config;
        sim::CardConfig card;
        card.id = id;
        card.address = "127.0.0.71";
        card.faults = faults;
        config.cards.push_back(card);
        config.storage_root = folder / "cards";
        config.discovery_socket = false;  // only the card's own ports are needed
        auto started = sim::Simulator::start(config);
        error_ = started.error;
        simulator_ = std::move(started.simulator);
        target_ = {id, card.address};
    }

    bool running() const { return simulator_ != nullptr; }
    const std::string& error() const { return error_; }
    sim::Simulator& sim() { return *simulator_; }
    const cardlink::CardTarget& target() const { return target_; }
    sim::CardState state() const { return *simulator_->state(target_.card_id); }

  private:
    std::unique_ptr<sim::Simulator> simulator_;
    std::string error_;
    cardlink::CardTarget target_;
};

}  // namespace testing_support
