// SPDX-License-Identifier: GPL-3.0-or-later
#include "desktop/Autostart.h"

#include "platform/Files.h"

#include <filesystem>
#include <system_error>

namespace autostart {

std::string configHome(const char* xdgConfigHome, const std::string& accountHome) {
    if (xdgConfigHome && xdgConfigHome[0] == '/') return xdgConfigHome;
    return accountHome + "/.config";
}

std::string entryPath(const std::string& configHome) {
    return configHome + "/autostart/quillbore-ssh.desktop";
}

// Exec holds the program as one quoted argument, so a path with blanks survives. The quoting
// of the desktop entry format: inside the quotes '"', '`', '$' and '\' take a backslash, and
// '%' is written "%%" (a field code otherwise). The value's own escaping then applies on top:
// each backslash is doubled (so a '\' of the path becomes four) and a newline, tab or carriage
// return becomes \n, \t or \r.
std::string entryText(const std::string& program) {
    std::string quoted = "\"";
    for (char c : program) {
        switch (c) {
        case '"':
        case '`':
        case '$':
            quoted += "\\\\";
            quoted += c;
            break;
        case '\\':
            quoted += "\\\\\\\\";
            break;
        case '%':
            quoted += "%%";
            break;
        case '\n':
            quoted += "\\n";
            break;
        case '\t':
            quoted += "\\t";
            break;
        case '\r':
            quoted += "\\r";
            break;
        default:
            quoted += c;
        }
    }
    quoted += "\"";
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=QuillboreSSH\n"
           "Comment=Keeps SSH tunnels open\n"
           "Exec=" +
           quoted +
           " --hidden\n"
           "Icon=quillbore-ssh\n"
           "Terminal=false\n"
           "X-GNOME-Autostart-enabled=true\n";
}

bool isEnabled(const std::string& configHome) {
    std::error_code error;
    return std::filesystem::exists(entryPath(configHome), error);
}

bool enable(const std::string& configHome, const std::string& program) {
    std::error_code error;
    std::filesystem::create_directories(configHome + "/autostart", error);
    return files::writeAtomically(entryPath(configHome), entryText(program));
}

bool disable(const std::string& configHome) {
    return files::remove(entryPath(configHome));
}

} // namespace autostart
