// SPDX-License-Identifier: GPL-3.0-or-later
// The floor: a bare Qt Widgets window with a table and five buttons, nothing else.
//
//   qb-bench-bare startup   prints the milliseconds from QB_BENCH_T0 to the first painted frame
//   qb-bench-bare serve     shows the window until standard input ends or reads "quit"

#include "FirstFrame.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QSocketNotifier>
#include <QTableWidget>
#include <QVBoxLayout>
#include <cstdio>
#include <memory>
#include <string>
#include <unistd.h>

int main(int argc, char* argv[]) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode != "startup" && mode != "serve") {
        std::fprintf(stderr, "usage: qb-bench-bare startup | serve\n");
        return 2;
    }
    QApplication app(argc, argv);
    std::unique_ptr<FirstFrame> firstFrame;
    if (mode == "startup") firstFrame = std::make_unique<FirstFrame>();

    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* table = new QTableWidget(0, 4);
    table->setHorizontalHeaderLabels({"Server", "Port", "Status", "Tunnel"});
    table->horizontalHeader()->setStretchLastSection(true);
    layout->addWidget(table);
    auto* buttons = new QHBoxLayout;
    for (const char* title : {"Add", "Edit", "Remove", "Start", "Stop"})
        buttons->addWidget(new QPushButton(title));
    layout->addLayout(buttons);
    window.resize(760, 440); // the main window's size
    window.show();

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char buffer[64];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0 || std::string(buffer, static_cast<std::size_t>(n)).find("quit") == 0) {
            input.setEnabled(false);
            QApplication::quit();
        }
    });
    if (mode == "startup") input.setEnabled(false);
    return app.exec();
}
