// SPDX-License-Identifier: GPL-3.0-or-later
#include "desktop/LastRunning.h"

#include "controller/QuillboreDel.h"

#include <algorithm>

namespace last_running {

namespace {

Service markOf(const ServiceEntry& entry) {
    return {entry.server, entry.listenPort, entry.tunnelDescription};
}

} // namespace

std::vector<Service> of(const QuillboreDel& controller) {
    std::vector<Service> running;
    if (!controller.theServiceList) return running;
    for (const ServiceEntry& entry : *controller.theServiceList)
        if (entry.service && entry.service->isRunning()) running.push_back(markOf(entry));
    return running;
}

std::size_t start(QuillboreDel& controller, const std::vector<Service>& remembered,
                  Window* tellOn) {
    if (!controller.theServiceList || remembered.empty()) return 0;
    // Two identical rows that both ran are remembered twice; each mark is used up once.
    std::vector<Service> left = remembered;
    std::vector<std::shared_ptr<SSHTunnel>> chosen;
    for (const ServiceEntry& entry : *controller.theServiceList) {
        auto match = std::find(left.begin(), left.end(), markOf(entry));
        if (match == left.end() || !entry.service) continue;
        left.erase(match);
        chosen.push_back(entry.service);
    }
    // Chosen first, started after: a start reloads the table and replaces the entries.
    std::size_t started = 0;
    for (const auto& service : chosen)
        if (controller.startOne(service, tellOn) == QuillboreDel::Refusal::None) ++started;
    return started;
}

} // namespace last_running
