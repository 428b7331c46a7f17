// "计算机多网卡选择" (dialog 172): the computer's network adapters with their IPv4 addresses (loopback is
// never one: no card sits behind it). OK with two or more adapters and none selected shows
// IDS_MESSAGE_PLEASE_SELECT and stays; otherwise the dialog closes with the chosen index (0 for a
// single adapter), which the window stores as `net_card_index` before reopening its endpoint. The window
// does not open the dialog without adapters (IDS_MESSAGE_NO_CHECK_NET_CARD). UI thread only.
#pragma once

#include <QDialog>

#include <vector>

#include "cardlink/local_addresses.h"

class QListWidget;

class AdapterDialog : public QDialog {
    Q_OBJECT
  public:
    static constexpr int kDialogNumber = 172;
    enum Control : int { kOk = 1, kCancel = 2, kList = 1186, kTitle = 2001 };

    // `adapters`: the choices, in the order net_card_index counts them; `current` is preselected when
    // it is one of them.
    AdapterDialog(std::vector<cardlink::LocalAddress> adapters, int current, QWidget* parent = nullptr);

    // The index chosen with OK (valid after accept()).
    int chosenIndex() const { return chosen_; }
    QWidget* control(int id) const;

    // The text of one entry: "eth0  192.168.0.5".
    static QString entryText(const cardlink::LocalAddress& adapter);

  public slots:
    void accept() override;

  private:
    std::vector<cardlink::LocalAddress> adapters_;
    QListWidget* list_ = nullptr;
    int chosen_ = -1;
};
