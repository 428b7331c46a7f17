// What every vantor-cli command shares: its result, printed as text or as one JSON object (--json), and
// the --trace output. Threading: the main thread.
#pragma once

#include <QJsonObject>
#include <QJsonValue>
#include <QString>

#include <string>

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
    // The failure's name and message (also on standard error), then done(code).
    int fail(int code, const std::string& error, const std::string& message);

  private:
    bool json_;
    QJsonObject object_;
};

inline QString qs(const std::string& s) {
    return QString::fromStdString(s);
}

// --trace: every frame the TCP streams and the discovery socket send and receive, on standard error.
void trace_to_stderr(bool on);

}  // namespace cli
