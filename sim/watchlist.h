#pragma once

// SPDX-License-Identifier: GPL-3.0-or-later
//
// The watches the user has set: register and flag watches from the execution window's panels,
// memory-byte watches from the memory page. Like the breakpoints they outlive a run and go with
// the table (New, Open); an open run hands them to its engine whenever they change.

#include "sim/watch.h"

#include <QObject>

#include <optional>
#include <vector>

namespace orb {

class WatchList final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(WatchList)

public:
    explicit WatchList(QObject *parent = nullptr) : QObject(parent) {}

    const std::vector<Watch> &watches() const { return watches_; }
    // The watch on the register, flag or memory byte of `target` (its value ignored).
    std::optional<Watch> find(const Watch &target) const;
    // Sets `watch`, replacing one on the same target.
    void set(const Watch &watch);
    // Removes the watch on `target`'s register, flag or byte; false when there was none.
    bool remove(const Watch &target);
    // Removes the watch on the target if there is one, else sets `watch`.
    void toggle(const Watch &watch);
    void clear();

signals:
    void changed();

private:
    std::vector<Watch> watches_;
};

} // namespace orb
