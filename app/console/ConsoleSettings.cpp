#include "app/console/ConsoleSettings.h"

#include <QSettings>
#include <QString>

namespace zarn {

std::string ConsoleSettings::StoredCaFile() {
    const QSettings settings(QStringLiteral("Ostrevant"), QStringLiteral("zarn"));
    return settings.value(QLatin1String(kCaFileKey)).toString().toLocal8Bit().toStdString();
}

std::string ConsoleSettings::CaFile(const std::optional<std::string>& given) {
    return given ? *given : StoredCaFile();
}

} // namespace zarn
