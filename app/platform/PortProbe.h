#pragma once

#include "platform/RunLoop.h"

#include <functional>
#include <memory>

// One connection attempt to 127.0.0.1:port, made without blocking through the run loop. The
// answer (true: something accepted the connection) comes once, on the run loop, never from
// inside probe(); a silent port counts as refusing after `timeoutSeconds`. The connection is
// closed at once. Dropping the returned handle cancels the probe without an answer.
class PortProbe {
public:
    virtual ~PortProbe() = default;

    static std::shared_ptr<PortProbe> probe(RunLoop& runLoop, int port, double timeoutSeconds,
                                            std::function<void(bool accepted)> done);
};
