// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/ChildProcess.h"

#include "platform/Descriptors.h"

ChildProcess::OutputState ChildProcess::readOutput(std::string& into, std::size_t limit) {
    return descriptors::readAvailable(outputDescriptor(), into, limit) ? OutputState::Waiting
                                                                       : OutputState::Ended;
}
