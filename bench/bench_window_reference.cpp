// The least a Qt Widgets program does for bench_window's click: one window shows and the other hides, each
// of the size bench_window passes and with one button where the program has its own. It measures nothing.
//   bench_window_reference MAIN_W MAIN_H FWD_X FWD_Y FWD_W FWD_H PREVIEW_W PREVIEW_H BACK_X BACK_Y BACK_W
//   BACK_H

#include <QApplication>
#include <QPushButton>
#include <QStringList>
#include <QWidget>

#include <array>
#include <cstdio>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments().mid(1);
    std::array<int, 12> n{};
    bool valid = args.size() == static_cast<qsizetype>(n.size());
    for (std::size_t i = 0; valid && i < n.size(); ++i)
        n[i] = args[static_cast<qsizetype>(i)].toInt(&valid);
    if (!valid) {
        std::fprintf(stderr, "usage: bench_window_reference MAIN_W MAIN_H FWD_X FWD_Y FWD_W FWD_H "
                             "PREVIEW_W PREVIEW_H BACK_X BACK_Y BACK_W BACK_H\n");
        return 2;
    }

    QWidget main;
    main.setFixedSize(n[0], n[1]);
    auto* forward = new QPushButton(QStringLiteral("Forward"), &main);
    forward->setGeometry(n[2], n[3], n[4], n[5]);
    QWidget preview;
    preview.setFixedSize(n[6], n[7]);
    auto* back = new QPushButton(QStringLiteral("Back"), &preview);
    back->setGeometry(n[8], n[9], n[10], n[11]);

    QObject::connect(forward, &QPushButton::clicked, &main, [&] {
        preview.show();
        main.hide();
    });
    QObject::connect(back, &QPushButton::clicked, &preview, [&] {
        main.show();
        preview.hide();
    });
    main.show();
    return QApplication::exec();
}
