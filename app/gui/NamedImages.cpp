// SPDX-License-Identifier: GPL-3.0-or-later
#include "NamedImages.h"

#include "SvgIconEngine.h"

#include <QFile>

namespace named_images {

QString resourcePath(const std::string& name) {
    return QStringLiteral(":/images/%1.svg").arg(QString::fromStdString(name));
}

bool exists(const std::string& name) {
    return !name.empty() && QFile::exists(resourcePath(name));
}

QIcon icon(const std::string& name) {
    if (!exists(name)) return {};
    const bool isTemplate = QString::fromStdString(name).endsWith(QLatin1String("Template"));
    return QIcon(new SvgIconEngine(resourcePath(name), isTemplate));
}

} // namespace named_images
