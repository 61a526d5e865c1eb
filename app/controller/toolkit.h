// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The window toolkit as the controller sees it: small interfaces, implemented with Qt in
// app/gui and in memory in tests/support. Images are compared by name.

#include <functional>
#include <optional>
#include <string>

namespace image {
inline constexpr const char* StatusNone = "NSStatusNone";
inline constexpr const char* StatusPartiallyAvailable = "NSStatusPartiallyAvailable";
inline constexpr const char* StatusAvailable = "NSStatusAvailable";
inline constexpr const char* StatusUnavailable = "NSStatusUnavailable";
inline constexpr const char* FollowLink = "NSFollowLinkFreestandingTemplate";
inline constexpr const char* RightTriangle = "NSRightFacingTriangleTemplate";
inline constexpr const char* LeftTriangle = "NSLeftFacingTriangleTemplate";
inline constexpr const char* LockLocked = "NSLockLockedTemplate";
inline constexpr const char* LockUnlocked = "NSLockUnlockedTemplate";
inline constexpr const char* Caution = "NSCaution"; // a forward that does not work
} // namespace image

// Anything that sends an action.
class Control {
public:
    virtual ~Control() = default;
};

struct Alert {
    enum class Style { Warning = 0, Informational = 1, Critical = 2 };
    std::string messageText;     // the headline
    std::string informativeText; // the body
    std::string buttonTitle = "OK";
    Style style = Style::Warning;
    std::string detailText; // shown under the body when not empty (a child's last words)
    // A second button beside the first, when titled. Either button closes the alert; only
    // this one has an action, run once the alert has gone.
    std::string otherButtonTitle;
    std::function<void()> otherAction;
};

class Window {
public:
    virtual ~Window() = default;
    virtual void makeKeyAndOrderFront() = 0;
    virtual void orderOut() = 0;
    virtual std::string title() const = 0;
    virtual void setTitle(const std::string& title) = 0;
    // Shows the alert attached to this window and returns at once; only this window waits
    // for OK. An alert for a window that already shows one waits its turn; the Qt window drops
    // one whose texts equal those of an alert showing or waiting there.
    virtual void beginSheet(const Alert& alert) = 0;
};

class TextField : public Control {
public:
    virtual std::string stringValue() const = 0;
    virtual void setStringValue(const std::string& value) = 0;
    virtual bool isEnabled() const = 0;
    virtual void setEnabled(bool enabled) = 0;
};

class TextView : public Control {
public:
    virtual std::string string() const = 0; // lines separated by LF
    virtual void setString(const std::string& value) = 0;
};

// Push buttons, check boxes and two-state toggles. State 1 is on, 0 off.
class Button : public Control {
public:
    virtual int state() const = 0;
    virtual void setState(int state) = 0;
    virtual bool isEnabled() const = 0;
    virtual void setEnabled(bool enabled) = 0;
    virtual std::string title() const = 0;
    virtual void setTitle(const std::string& title) = 0;
    virtual std::string image() const = 0; // name of the image last set, "" for none
    virtual void setImage(const std::string& imageName) = 0;
};

class ActivityIndicator {
public:
    virtual ~ActivityIndicator() = default;
    virtual void startAnimation() = 0;
    virtual void stopAnimation() = 0;
    virtual bool isAnimating() const = 0;
};

class TableColumn {
public:
    explicit TableColumn(std::string identifier) : identifier_(std::move(identifier)) {}
    const std::string& identifier() const { return identifier_; }

private:
    std::string identifier_;
};

// One cell: a text field and an image view (image by name, "" for none).
class CellView {
public:
    explicit CellView(std::string identifier) : identifier_(std::move(identifier)) {}
    const std::string& identifier() const { return identifier_; }
    const std::string& text() const { return text_; }
    void setText(const std::string& text) { text_ = text; }
    const std::string& image() const { return image_; }
    void setImage(const std::string& imageName) { image_ = imageName; }

private:
    std::string identifier_;
    std::string text_;
    std::string image_;
};

class TableView;

class TableDataSource {
public:
    virtual ~TableDataSource() = default;
    virtual long numberOfRowsInTableView(TableView* table) = 0;
    virtual CellView* viewForTableColumn(TableView* table, TableColumn* column, long row) = 0;
    // The tooltip of a row, asked when it is about to show; "" for none.
    virtual std::string toolTipForRow(TableView* table, long row) {
        (void)table;
        (void)row;
        return {};
    }
    // The selection changed other than by the user's click: a reload dropped a row that had
    // gone past the end, or selectRow chose another row.
    virtual void tableViewSelectionDidChange(TableView*) {}
};

// Every reloadData asks the data source for the row count once, before it returns, and for the
// cells of every column of a row before that row is shown or read again (reloads close together
// may share one such ask; a row never shown nor read need not be asked for), and shows what it
// got until the next reload. A selected row at or past the new end is unselected before
// reloadData returns, and the data source told so.
class TableView : public Control {
public:
    virtual long selectedRow() const = 0; // -1 when none
    virtual void reloadData() = 0;
    // Replaces the selection by this one row; a row outside the table selects nothing.
    virtual void selectRow(long row) = 0;
    virtual void setDoubleAction(std::function<void()> action) = 0;
    // A cell view made from the prototype of this column identifier; owned by the table
    // and valid until the next reload.
    virtual CellView* makeViewWithIdentifier(const std::string& identifier) = 0;
    virtual void setDataSource(TableDataSource* dataSource) = 0;
};

// A modal password prompt (for the authorizer's conversation). Returns nothing when cancelled.
class PasswordPrompt {
public:
    virtual ~PasswordPrompt() = default;
    virtual std::optional<std::string> askPassword(const std::string& title,
                                                   const std::string& prompt) = 0;
};

// A programming error with a formatted description; the toolkit decides how to stop.
class AssertionHandler {
public:
    virtual ~AssertionHandler() = default;
    virtual void handleFailure(const std::string& description) = 0;
};
