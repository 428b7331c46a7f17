// What every vantor-cli command shares in its output: the result as text or as one JSON object
// (docs/command-line.md), and --trace.
// Threading: the main thread.
#pragma once

#include <QJsonObject>
#include <QJsonValue>
#include <QString>

#include <string>

#include "cardlink/card_exchange.h"

namespace cli {

// The result of a command: printed as text, or as one JSON object with --json.
class Report {
  public:
    Report(const char* command, bool json);
    bool json() const { return json_; }

    void set(const char* key, const QJsonValue& value) { object_.insert(QLatin1String(key), value); }
    void line(const std::string& text);
    // Ends a command: the JSON object, or nothing more for text. Returns `code`.
    int done(int code);
    int fail(int code, const std::string& error, const std::string& message);

  private:
    bool json_;
    QJsonObject object_;
};

inline QString qs(const std::string& s) {
    return QString::fromStdString(s);
}

// Ends a command whose exchange with the card at `address` failed: a card not reached or silent is
// "no card" (4), one whose transfer broke off or that refused is 1; `refused` says what the refusal
// means for the command. Not for ExchangeError::None, which is the command's own success.
int fail_exchange(Report& report, cardlink::ExchangeError error, const std::string& address,
                  const std::string& refused);

// --trace: every frame the TCP streams and the discovery socket send and receive, on standard error.
void trace_to_stderr(bool on);

}  // namespace cli
