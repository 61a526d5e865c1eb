#pragma once

#include <cstddef>

class QuillboreDel;

// The tray menu's actions. Each goes through the controller operation behind the main
// window's button, with the table's selection set the way that button would need it and
// put back afterwards, so the lock test and every alert apply unchanged. Alerts raised by
// an action bring the main window to the front.
class TrayActions {
public:
    explicit TrayActions(QuillboreDel& controller) : c_(controller) {}

    // Starts the service at `index` when it is not running, stops it otherwise.
    void toggleService(std::size_t index);
    void startAll();
    void stopAll();
    void lock();
    void showWindow();

private:
    template <typename Operation> void withRow(long row, Operation operation);

    QuillboreDel& c_;
};
