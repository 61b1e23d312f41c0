#pragma once

// The path part of a row's detail line, on one line: a symbol, the folder's
// name, then the home-abbreviated path elided in the middle. As a project link
// (folder symbol, name in medium weight and link colour, path in primary) a
// click, or Space or Enter once tabbed to, asks for the folder to be revealed;
// as a workspace label (window
// symbol, all secondary) it is not clickable. While masked the path is drawn as
// a neutral bar and its text is kept out of the accessible name; the symbol
// and the name stay readable. Tooltips are the caller's business.

#include <QWidget>

namespace ombrix {

class PathLabel : public QWidget {
    Q_OBJECT
public:
    enum class Kind { Project, Workspace };

    explicit PathLabel(QWidget* parent = nullptr);

    void setPath(Kind kind, const QString& path, const QString& home);
    void setMasked(bool masked);

    Kind kind() const { return m_kind; }
    const QString& path() const { return m_path; }
    const QString& name() const { return m_name; }
    const QString& shortPath() const { return m_shortPath; }
    bool isMasked() const { return m_masked; }
    bool isClickable() const { return m_kind == Kind::Project; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    // What a click does, for the keyboard and assistive tools: asks for the
    // project to be revealed; nothing for a workspace label.
    void activate();

signals:
    void clicked(const QString& path);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    struct Parts {
        double symbol = 0;
        double nameWidth = 0;
        double pathWidth = 0;
    };
    QFont nameFont() const;
    Parts measure() const;
    void refresh();

    Kind m_kind = Kind::Project;
    QString m_path;
    QString m_name;
    QString m_shortPath;
    QString m_nameShown;
    QString m_pathShown;
    bool m_masked = false;
    bool m_pressed = false;
    mutable double m_nameNatural = -1;
    mutable double m_pathNatural = -1;
};

} // namespace ombrix
