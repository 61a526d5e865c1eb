// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QIcon>
#include <QString>
#include <string>

// The toolkit's named images, drawn from our own SVG resources (":/images/<name>.svg").
// Names ending in "Template" are monochrome shapes tinted to the palette.
namespace named_images {

QIcon icon(const std::string& name);
QString resourcePath(const std::string& name);
bool exists(const std::string& name);

} // namespace named_images
