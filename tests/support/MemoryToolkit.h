// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "controller/toolkit.h"

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// In-memory window toolkit: every control records its state so tests can press buttons and
// read everything back.

class MemoryWindow : public Window {
public:
    explicit MemoryWindow(std::string initialTitle = {}) : title_(std::move(initialTitle)) {}
    void makeKeyAndOrderFront() override {
        visible = true;
        ++timesShown;
    }
    void orderOut() override { visible = false; }
    std::string title() const override { return title_; }
    void setTitle(const std::string& title) override { title_ = title; }
    void beginSheet(const Alert& alert) override;

    // Presses OK on the sheet shown now; the next queued alert, if any, is then shown.
    void pressOK();
    // Presses the second button of the sheet shown now: as OK, then its action runs.
    void pressOther();
    const Alert* shownAlert() const { return showing_ ? &alerts[shownIndex_] : nullptr; }
    // Bodies of every alert begun on this window, in order.
    std::vector<std::string> alertTexts() const;

    bool visible = false;
    int timesShown = 0;
    std::vector<Alert> alerts;

private:
    std::string title_;
    bool showing_ = false;
    std::size_t shownIndex_ = 0;
};

class MemoryTextField : public TextField {
public:
    std::string stringValue() const override { return value; }
    void setStringValue(const std::string& v) override { value = v; }
    bool isEnabled() const override { return enabled; }
    void setEnabled(bool e) override { enabled = e; }
    std::string value;
    bool enabled = true;
};

class MemoryTextView : public TextView {
public:
    std::string string() const override { return value; }
    void setString(const std::string& v) override { value = v; }
    std::string value;
};

class MemoryButton : public Button {
public:
    explicit MemoryButton(std::string t = {}) : titleText(std::move(t)) {}
    int state() const override { return stateValue; }
    void setState(int s) override { stateValue = s; }
    bool isEnabled() const override { return enabled; }
    void setEnabled(bool e) override { enabled = e; }
    std::string title() const override { return titleText; }
    void setTitle(const std::string& t) override { titleText = t; }
    std::string image() const override { return imageName; }
    void setImage(const std::string& name) override { imageName = name; }

    int stateValue = 0;
    bool enabled = true;
    std::string titleText;
    std::string imageName;
};

class MemoryActivityIndicator : public ActivityIndicator {
public:
    void startAnimation() override { animating = true; }
    void stopAnimation() override { animating = false; }
    bool isAnimating() const override { return animating; }
    bool animating = false;
};

// A row of the last reload, as the cells showed it, by column.
struct MemoryRow {
    CellView server{"Server"}, tunnel{"Tunnel"}, listenPort{"ListenPort"}, status{"Status"};
};

class MemoryTableView : public TableView {
public:
    long selectedRow() const override { return selected; }
    void reloadData() override;
    void selectRow(long row) override;
    void setDoubleAction(std::function<void()> action) override {
        doubleAction = std::move(action);
    }
    CellView* makeViewWithIdentifier(const std::string& identifier) override;
    void setDataSource(TableDataSource* ds) override { dataSource = ds; }

    // The user clicks a row (-1: empty space); the test then calls the click action itself.
    void clickRow(long row) { selected = row; }
    void doubleClick() {
        if (doubleAction) doubleAction();
    }

    TableDataSource* dataSource = nullptr;
    std::function<void()> doubleAction;
    long selected = -1;
    int reloadCount = 0;
    long rowCount = 0;
    std::vector<MemoryRow> rows; // snapshot of the last reload

    static const std::vector<std::string>& columnIdentifiers();

private:
    std::deque<std::unique_ptr<CellView>> madeViews_;
};

class MemoryPasswordPrompt : public PasswordPrompt {
public:
    std::optional<std::string> askPassword(const std::string& title,
                                           const std::string& prompt) override {
        titles.push_back(title);
        prompts.push_back(prompt);
        return answer;
    }
    std::optional<std::string> answer;
    std::vector<std::string> titles, prompts;
};

class MemoryAssertionHandler : public AssertionHandler {
public:
    void handleFailure(const std::string& description) override { failures.push_back(description); }
    std::vector<std::string> failures;
};
