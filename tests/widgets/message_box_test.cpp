// The Qt message service: which button the user pressed comes back as the right reply, Escape counts
// as the negative answer, and a message raised on a worker thread is shown on the UI thread.
#include "widgets/message_box_qt.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <functional>
#include <thread>

#include "tests/support/qt/pump.h"

namespace {

using platform::MessageButtons;
using platform::MessageIcon;
using platform::MessageReply;

// Answers the next message box that opens with `answer`, and records what it showed.
struct Answerer {
    std::function<void(QMessageBox*)> answer;
    QString text;
    QString title;
    Qt::TextFormat format = Qt::AutoText;
    QThread* thread = nullptr;
    QTimer timer;

    explicit Answerer(std::function<void(QMessageBox*)> a) : answer(std::move(a)) {
        timer.setInterval(5);
        QObject::connect(&timer, &QTimer::timeout, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box == nullptr || !box->isVisible()) return;
            timer.stop();
            text = box->text();
            title = box->windowTitle();
            format = box->textFormat();
            thread = box->thread();
            answer(box);
        });
        timer.start();
    }
};

std::function<void(QMessageBox*)> press(QMessageBox::StandardButton which) {
    return [which](QMessageBox* box) {
        QAbstractButton* b = box->button(which);
        ASSERT_NE(b, nullptr);
        b->click();
    };
}

std::function<void(QMessageBox*)> escape() {
    return [](QMessageBox* box) { QTest::keyClick(box, Qt::Key_Escape); };
}

TEST(QtMessageService, ButtonsMapToReplies) {
    struct Case {
        MessageButtons buttons;
        std::function<void(QMessageBox*)> action;
        MessageReply expected;
    };
    const Case cases[] = {
        {MessageButtons::Ok, press(QMessageBox::Ok), MessageReply::Ok},
        {MessageButtons::Ok, escape(), MessageReply::Ok},
        {MessageButtons::YesNo, press(QMessageBox::Yes), MessageReply::Yes},
        {MessageButtons::YesNo, press(QMessageBox::No), MessageReply::No},
        {MessageButtons::YesNo, escape(), MessageReply::No},
        {MessageButtons::OkCancel, press(QMessageBox::Ok), MessageReply::Ok},
        {MessageButtons::OkCancel, press(QMessageBox::Cancel), MessageReply::Cancel},
        {MessageButtons::OkCancel, escape(), MessageReply::Cancel},
    };
    platform::QtMessageService service;
    int i = 0;
    for (const auto& c : cases) {
        Answerer answerer(c.action);
        EXPECT_EQ(service.show("text", "caption", MessageIcon::Question, c.buttons), c.expected)
            << "case " << i;
        EXPECT_EQ(answerer.text, QStringLiteral("text"));
        EXPECT_EQ(answerer.title, QStringLiteral("caption"));
        ++i;
    }
}

TEST(QtMessageService, AMessageFromAWorkerIsShownOnTheUserInterfaceThread) {
    platform::QtMessageService service;
    Answerer answerer(press(QMessageBox::Yes));
    MessageReply reply = MessageReply::Cancel;
    std::atomic<bool> done{false};
    std::thread worker([&] {
        reply = service.show("from a worker", "ERROR", MessageIcon::Error, MessageButtons::YesNo);
        done = true;
    });
    // The UI thread keeps its event loop running while the worker waits for the answer.
    EXPECT_TRUE(support::pump_until([&] { return done.load(); }, std::chrono::seconds(10)));
    worker.join();
    EXPECT_EQ(reply, MessageReply::Yes);
    EXPECT_EQ(answerer.text, QStringLiteral("from a worker"));
    EXPECT_EQ(answerer.thread, QApplication::instance()->thread());
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
