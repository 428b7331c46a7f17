#include "cli/output.h"

#include <QJsonDocument>

#include <cstdio>
#include <iostream>

#include "cli/commands.h"
#include "platform/frame_trace.h"

namespace cli {

Report::Report(const char* command, bool json) : json_(json) {
    set("command", QLatin1String(command));
}

void Report::line(const std::string& text) {
    if (!json_) std::cout << text << '\n';
}

int Report::done(int code) {
    if (json_) {
        object_.insert(QStringLiteral("ok"), code == kOk);
        object_.insert(QStringLiteral("exit_code"), code);
        std::cout << QJsonDocument(object_).toJson(QJsonDocument::Indented).toStdString();
    }
    std::cout.flush();
    return code;
}

int Report::fail(int code, const std::string& error, const std::string& message) {
    if (json_) {
        set("error", QString::fromStdString(error));
        set("message", QString::fromStdString(message));
    }
    std::cerr << "vantor-cli: " << message << '\n';
    return done(code);
}

void trace_to_stderr(bool on) {
    if (!on) return;
    platform::set_frame_trace([](platform::TraceDirection direction, std::span<const std::uint8_t> bytes) {
        static constexpr char kHex[] = "0123456789abcdef";
        std::string line =
            direction == platform::TraceDirection::Sent ? "vantor-cli: sent " : "vantor-cli: received ";
        line += std::to_string(bytes.size()) + " bytes:";
        for (const std::uint8_t b : bytes) {
            line += ' ';
            line += kHex[b >> 4];
            line += kHex[b & 15];
        }
        line += '\n';
        std::fputs(line.c_str(), stderr);
    });
}

int fail_exchange(Report& report, cardlink::ExchangeError error, const std::string& address,
                  const std::string& refused) {
    switch (error) {
        case cardlink::ExchangeError::None:
            break;
        case cardlink::ExchangeError::NoConnection:
            return report.fail(kUnreachable, "no_connection", "cannot connect to the card at " + address);
        case cardlink::ExchangeError::SendFailed:
            return report.fail(kFailed, "transfer_failed",
                               "sending to the card at " + address + " broke off");
        case cardlink::ExchangeError::NoAnswer:
            return report.fail(kUnreachable, "no_answer", "the card at " + address + " did not answer");
        case cardlink::ExchangeError::AnswerRejected:
            return report.fail(kFailed, "refused", refused);
    }
    return report.done(kFailed);
}

}  // namespace cli
