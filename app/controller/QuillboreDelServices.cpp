// Starting and stopping services, the status line, the tunnels' delegate side.
#include "controller/QuillboreDel.h"

void QuillboreDel::startTunnel(Control*) {}
void QuillboreDel::stopTunnel(Control*) {}
void QuillboreDel::updateStatus() {}
void QuillboreDel::unlinkFile() {}
bool QuillboreDel::whatsMyCommand() { return use_my_command; }
std::string QuillboreDel::whatsMyCommandString() { return heres_my_command; }
std::string QuillboreDel::whatsMyVariables() { return heres_my_arguments; }
bool QuillboreDel::shouldIRetry() { return recon; }
void QuillboreDel::updateMyStatus(const std::string&, SSHTunnel&) {}
