// SPDX-License-Identifier: GPL-3.0-or-later
// Headless measurements of the controller's data files (the supervision is measured in the
// real application, see qb_bench_real.cpp). Run under tests/support/with-test-home so the
// data files land in a temporary home. Prints key=value lines for bench/run.
//
//   qb-bench files COUNT                 load and save of a COUNT-service list; cipher speed
//   qb-bench make-list COUNT             writes a COUNT-service list file into the home

#include "FakeAuthorizer.h"
#include "MemoryLayout.h"
#include "controller/QuillboreDel.h"
#include "platform/Files.h"
#include "platform/PosixProcessLauncher.h"
#include "platform/PosixRunLoop.h"
#include "store/Cipher.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

class QuietLog : public SystemLog {
public:
    void write(const std::string&) override {}
};

// The real controller, tunnels, run loop and children, with the in-memory window layout.
struct Headless {
    PosixRunLoop runLoop;
    PosixProcessLauncher launcher;
    QuietLog log;
    FakeAuthorizer authorizer;
    MemoryLayout ui;
    QuillboreDel controller{runLoop, launcher, log, authorizer};

    Headless() {
        ui.wire(controller);
        controller.theServiceList.emplace();
    }

    // `count` services in one OK of the add window: listen ports from `firstPort` on.
    void addServices(int count, int firstPort, const std::string& forward) {
        std::string ports, forwards;
        for (int i = 0; i < count; ++i) {
            if (i) ports += ',', forwards += ',';
            ports += std::to_string(firstPort + i % 50000);
            forwards += forward;
        }
        ui.serverAddress.value = "gateway.example.test";
        ui.userName.value = "alice";
        ui.userPassword.value = "correct horse battery staple";
        ui.serverPort.value = ports;
        ui.forwardInfo.value = forwards;
        controller.addToList(nullptr); // the table reload saves the file
    }
};

int filesBench(int count) {
    Headless app;
    app.addServices(count, 10000, "intranet.example.test:443");
    // A save that writes (the file is gone), then one whose bytes are already there. Each
    // follows a change of the list's fields, as after an edit: a status change saves nothing.
    files::remove(app.controller.serviceListPath());
    app.controller.markListChanged();
    auto t0 = Clock::now();
    app.controller.saveUserData();
    const double saveMs = secondsSince(t0) * 1000;
    app.controller.markListChanged();
    t0 = Clock::now();
    app.controller.saveUserData();
    const double sameMs = secondsSince(t0) * 1000;

    Headless fresh;
    t0 = Clock::now();
    fresh.controller.loadUserData(); // includes the table reload, which saves once more
    const double loadMs = secondsSince(t0) * 1000;

    std::string text(8 << 20, 'x');
    std::mt19937 random(7);
    for (auto& c : text)
        c = static_cast<char>(32 + random() % 95);
    t0 = Clock::now();
    std::string sealed = cipher::encryptString(text, "alice");
    std::string opened = cipher::decryptString(sealed, "alice");
    const double cipherS = secondsSince(t0);
    if (opened != text) return 1;

    std::printf("services=%zu\nloaded=%zu\nsave_ms=%.1f\nsame_save_ms=%.1f\nload_ms=%.1f\n"
                "cipher_mib_s=%.1f\n",
                app.controller.theServiceList->size(), fresh.controller.theServiceList->size(),
                saveMs, sameMs, loadMs, 2 * 8.0 / cipherS);
    return 0;
}

int makeList(int count) {
    if (count <= 0) return 0;
    Headless app;
    app.addServices(count, 10000, "intranet.example.test:443");
    return app.controller.theServiceList->size() == static_cast<std::size_t>(count) ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "files" && argc == 3) return filesBench(std::atoi(argv[2]));
    if (mode == "make-list" && argc == 3) return makeList(std::atoi(argv[2]));
    std::fprintf(stderr, "usage: qb-bench files COUNT | make-list COUNT\n");
    return 2;
}
