// ledcard-sim-show: the window `ledcard-sim --show` opens. It draws each virtual LED module from the
// picture its card writes ("module.png" in the card folder, already drawn as round LEDs) and redraws a
// module as soon as its card rewrites the picture. Qt Widgets only; it reads files and knows nothing of
// the simulator, so the simulator itself stays free of Qt.
//   ledcard-sim-show CARD_ID=PICTURE [CARD_ID=PICTURE ...]
#include <sys/stat.h>

#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>
#include <cstdio>
#include <vector>

namespace {

struct Shown {
    QString file;
    QLabel* picture = nullptr;
    // The card replaces the file by a rename: a new inode, or a new time, is a new picture (times alone
    // miss a picture written within the clock tick of the one before; inodes alone may be reused).
    ino_t inode = 0;
    timespec modified{};
};

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: ledcard-sim-show CARD_ID=PICTURE [CARD_ID=PICTURE ...]\n");
        return 2;
    }
    QWidget window;
    window.setWindowTitle(QStringLiteral("ledcard-sim: virtual LED modules"));
    window.setStyleSheet(QStringLiteral("background: #202020; color: #E0E0E0;"));
    auto* layout = new QVBoxLayout(&window);
    std::vector<Shown> shown;
    for (int i = 1; i < argc; ++i) {
        const QString arg = QString::fromLocal8Bit(argv[i]);
        const auto eq = arg.indexOf(QLatin1Char('='));
        if (eq <= 0) {
            std::fprintf(stderr, "ledcard-sim-show: expected CARD_ID=PICTURE: %s\n", argv[i]);
            return 2;
        }
        layout->addWidget(new QLabel(QStringLiteral("card %1").arg(arg.left(eq)), &window));
        Shown s;
        s.file = arg.mid(eq + 1);
        s.picture = new QLabel(&window);
        s.picture->setMinimumSize(64, 32);
        layout->addWidget(s.picture);
        shown.push_back(s);
    }
    layout->addStretch(1);
    auto refresh = [&] {
        for (auto& s : shown) {
            struct stat st {};
            if (::stat(s.file.toLocal8Bit().constData(), &st) != 0) continue;
            if (st.st_ino == s.inode && st.st_mtim.tv_sec == s.modified.tv_sec &&
                st.st_mtim.tv_nsec == s.modified.tv_nsec)
                continue;
            // QImage, not QPixmap::load: that caches by name, size and whole seconds, and the pictures
            // of one module all have the same size.
            QImage image;
            if (!image.load(s.file)) continue;
            s.inode = st.st_ino;
            s.modified = st.st_mtim;
            s.picture->setPixmap(QPixmap::fromImage(image));
        }
    };
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, refresh);
    poll.start(100);
    refresh();
    window.show();
    return app.exec();
}
