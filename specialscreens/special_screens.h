// The entry to the special screens from the main window's "特殊屏体设置": its checks in order (a card
// in the list; the screen size unchanged since the last use, else TIP7 and stop; dialog 149, "are the
// module's wiring rules set?"; dialog 155, "is the size right?"), then the type dialog (146) and the
// chosen layout dialog (147, 148 or 152), modally, with the main window's screen size.
// UI thread only.
#pragma once

#include <QObject>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

class MainWindow;
class QDialog;

namespace specialscreens {

struct ScreenSize {
    int width = 0;
    int height = 0;
    friend bool operator==(const ScreenSize&, const ScreenSize&) = default;
};

enum class EntryStep {
    NoCard,        // IDS_MESSAGE_HAVE_NO_LINKED_CARD
    SizeChanged,   // the size was stored; IDS_MESSAGE_DUDO_SPECIAL_TIP7
    NotPrepared,   // No to dialog 149; IDS_MESSAGE_DUDO_SPECIAL_TIP1
    SizeRejected,  // No to dialog 155; IDS_MESSAGE_DUDO_SPECIAL_TIP2 (the width edit takes the focus)
    ChooseType,    // go on to dialog 146
};

// The checks before the type dialog, with their messages and questions (platform::show_message).
// `last_used` is the size the last use was made for; before any use there is none, and the first
// use takes the current size without calling it a change.
EntryStep check_entry(bool have_cards, ScreenSize current, std::optional<ScreenSize>& last_used);

// The text of dialog 155: IDS_MESSAGE_DUDO_SPECIAL_TIP3, width, "X", height, ",", TIP4.
std::string size_question(ScreenSize size);

// Installs the entry on `window` (shows its button). Lives as the window's child.
class SpecialScreens : public QObject {
    Q_OBJECT
  public:
    explicit SpecialScreens(MainWindow& window);

    // The button's action: the checks, then the dialogs.
    void open();

    // Tests take the dialog that opens: called with it just before it runs.
    void setDialogHook(std::function<void(QDialog*)> hook) { dialog_hook_ = std::move(hook); }

  private:
    int run(QDialog& dialog);

    MainWindow& window_;
    std::optional<ScreenSize> last_used_;
    std::function<void(QDialog*)> dialog_hook_;
};

}  // namespace specialscreens
