#pragma once

#include <QObject>
#include <QSettings>

namespace ombrix {

// The persisted "hideProjectPaths" flag (organisation and application "Ombrix",
// default false). One instance is shared by every view, so a toggle in one view
// re-masks the others at once.
class PathMaskSetting : public QObject {
    Q_OBJECT
public:
    explicit PathMaskSetting(QObject* parent = nullptr);
    bool hidden() const { return m_hidden; }
    void setHidden(bool hidden);
    void toggle() { setHidden(!m_hidden); }

signals:
    void changed(bool hidden);

private:
    QSettings m_settings;
    bool m_hidden = false;
};

} // namespace ombrix
