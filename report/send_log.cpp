#include "report/send_log.h"

namespace report {

std::vector<SendRecord> SendLog::to_card(const cardlink::CardTarget& card) const {
    std::vector<SendRecord> out;
    for (const SendRecord& r : records_) {
        if ((!card.card_id.empty() && r.target.card_id == card.card_id) ||
            (!card.address.empty() && r.target.address == card.address))
            out.push_back(r);
    }
    return out;
}

}  // namespace report
