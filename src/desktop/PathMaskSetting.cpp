#include "PathMaskSetting.h"

namespace ombrix {

namespace {
const QString key = QStringLiteral("hideProjectPaths");
}

PathMaskSetting::PathMaskSetting(QObject* parent)
    : QObject(parent)
    , m_settings(QStringLiteral("Ombrix"), QStringLiteral("Ombrix"))
    , m_hidden(m_settings.value(key, false).toBool()) {}

void PathMaskSetting::setHidden(bool hidden) {
    if (hidden == m_hidden) {
        return;
    }
    m_hidden = hidden;
    m_settings.setValue(key, hidden);
    m_settings.sync();
    emit changed(hidden);
}

} // namespace ombrix
