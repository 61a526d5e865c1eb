#include "ApplicationBusAdaptor.h"

#include "SingleInstance.h"

ApplicationBusAdaptor::ApplicationBusAdaptor(SingleInstance* instance)
    : QDBusAbstractAdaptor(instance), instance_(instance) {}

void ApplicationBusAdaptor::Activate() {
    instance_->activate();
}
