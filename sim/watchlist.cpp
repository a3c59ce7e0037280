// SPDX-License-Identifier: GPL-3.0-or-later

#include "sim/watchlist.h"

#include <algorithm>

namespace orb {

namespace {

bool sameTarget(const Watch &a, const Watch &b)
{
    return a.kind == b.kind && a.index == b.index;
}

} // namespace

std::optional<Watch> WatchList::find(const Watch &target) const
{
    const auto it = std::find_if(watches_.begin(), watches_.end(),
                                 [&](const Watch &watch) { return sameTarget(watch, target); });
    if (it == watches_.end())
        return std::nullopt;
    return *it;
}

void WatchList::set(const Watch &watch)
{
    const auto it = std::find_if(watches_.begin(), watches_.end(),
                                 [&](const Watch &other) { return sameTarget(other, watch); });
    if (it != watches_.end() && *it == watch)
        return;
    if (it == watches_.end()) {
        watches_.push_back(watch);
    } else {
        *it = watch;
    }
    emit changed();
}

bool WatchList::remove(const Watch &target)
{
    const auto it = std::find_if(watches_.begin(), watches_.end(),
                                 [&](const Watch &watch) { return sameTarget(watch, target); });
    if (it == watches_.end())
        return false;
    watches_.erase(it);
    emit changed();
    return true;
}

void WatchList::toggle(const Watch &watch)
{
    if (!remove(watch))
        set(watch);
}

void WatchList::clear()
{
    if (watches_.empty())
        return;
    watches_.clear();
    emit changed();
}

} // namespace orb
