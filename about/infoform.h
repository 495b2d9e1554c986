#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

/// The version as the About window shows it: " (V2.6)", with a revision letter from revision 100 on.
QString VersionText(int major, int minor, int revision);

/// Where the About window goes on a screen: the top-left corner on small screens, else centred.
QPoint InfoPlacement(QSize screen, QSize window);

/// The About window: name, version, description, the vendor's web site. Modeless; the main window keeps
/// at most one.
class InfoForm : public QDialog
{
    Q_OBJECT
public:
    explicit InfoForm(QWidget *parent = nullptr);

    QLabel *Label;
    QLabel *Image1;
    QPushButton *Btn[4] = {}; ///< 1: web site (lower left), 3: close (lower right)

Q_SIGNALS:
    /// A message for the user, shown by the main window as its others: the web site could not be shown.
    void message(const QString &text);

protected:
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    /// Builds title, captions, placement and text; done at each opening.
    void Form_Load();
    /// Opens the vendor's web site; where no program can show it, tells where it is.
    void visitVendor();
};
