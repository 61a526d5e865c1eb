#include "tunnel/SSHTunnel.h"

SSHTunnel::SSHTunnel(RunLoop& runLoop, ProcessLauncher& launcher, SystemLog& log)
    : runLoop_(runLoop), launcher_(launcher), log_(log) {}

void SSHTunnel::setUser(const std::string& user, const std::string& pass,
                        const std::string& server, const std::string& listenOn,
                        const std::string& newMode) {
    username = user;
    passwd = pass;
    serverAddress = server;
    port = listenOn;
    mode = newMode;
}

void SSHTunnel::setDelegate(SSHTunnelDelegate* newDelegate) { delegate = newDelegate; }

void SSHTunnel::startService() {}
void SSHTunnel::stopService() {}
void SSHTunnel::serviceStatus() {}
void SSHTunnel::doCheckLoop() {}
void SSHTunnel::needsVerify() {}
SSHTunnel::Command SSHTunnel::buildCommand() { return {}; }
void SSHTunnel::report(const std::string& status) {
    if (delegate) delegate->updateMyStatus(status, *this);
}
