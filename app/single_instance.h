// One copy of the program at a time.
//
// The program holds an instance lock named after its executable for its whole life and listens on a
// local socket of the same name; a second start finds the lock held, asks the running copy over that
// socket to bring its window to the front, and exits quietly. While another program holds the
// "pavix_net" lock (the product's main application), start-up is refused with a message.
// UI thread only.
#pragma once

#include <QObject>
#include <QString>
#include <memory>

#include "platform/instance_lock.h"

class QLocalServer;

class SingleInstance : public QObject {
    Q_OBJECT
  public:
    explicit SingleInstance(QObject* parent = nullptr);
    ~SingleInstance() override;

    // True when start-up may go on. The lock is kept until this object is destroyed.
    bool check(const QString& program_name);

    static QString socket_path(const QString& program_name);

  signals:
    // Another start asked for the running window.
    void raiseRequested();

  private:
    std::unique_ptr<platform::InstanceLock> lock_;
    QLocalServer* server_ = nullptr;
};

// Brings `window` to the front, restoring it when minimised.
class QWidget;
void bring_to_front(QWidget* window);
