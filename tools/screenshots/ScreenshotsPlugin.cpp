// A Qt plugin that takes the README's screenshots inside the real program:
// loaded into torvakine with QT_QPA_GENERIC_PLUGINS=torvakinescreenshots (and
// QT_PLUGIN_PATH naming the folder above generic/), it waits for the main
// window and then, as a user would,
//   - saves the window as it opens: main-window.png;
//   - opens the Scan panel, adds the folder TORVAKINE_SCREENSHOT_SCAN to the
//     drive list, scans it without the registry: scan-results.png;
//   - removes what the scan found, answering the confirmation and the
//     message after it, and opens the Quarantine panel: quarantine.png;
//   - opens the Updates panel: updates-panel.png;
// into the folder TORVAKINE_SCREENSHOT_DIR, and closes the window.  It
// prints "saved NAME" for each picture; anything missing ends the program
// with status 3.  scripts/screenshots.sh runs it.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGenericPlugin>
#include <QImageWriter>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <cstdio>

namespace {

void say(const QString &line)
{
    const QByteArray bytes = line.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fflush(stdout);
}

class Screenshots : public QObject
{
public:
    Screenshots()
        : m_folder(qEnvironmentVariable("TORVAKINE_SCREENSHOT_DIR")),
          m_scanFolder(qEnvironmentVariable("TORVAKINE_SCREENSHOT_SCAN"))
    {
        m_timer.setInterval(100);
        connect(&m_timer, &QTimer::timeout, this, &Screenshots::look);
        m_timer.start();
    }

private:
    // The main window once it is shown and nothing else is: the loading
    // window closed, no message box open.
    static QWidget *mainWindow()
    {
        if (QApplication::activeModalWidget())
            return nullptr;
        QWidget *found = nullptr;
        for (QWidget *w : QApplication::topLevelWidgets()) {
            if (w->objectName() == QLatin1String("frmSplash") && w->isVisible())
                return nullptr;
            if (w->objectName() == QLatin1String("Form1") && w->isVisible())
                found = w;
        }
        return found;
    }

    void look()
    {
        QWidget *window = mainWindow();
        if (!window)
            return;
        m_timer.stop();
        if (!takeAll(window)) {
            QCoreApplication::exit(3);
            return;
        }
        window->close();
    }

    template <typename T> T *control(QWidget *window, const char *name)
    {
        T *c = window->findChild<T *>(QLatin1String(name));
        if (!c)
            say(QStringLiteral("no control ") + QLatin1String(name));
        return c;
    }

    // Enter on a picture the user can activate, as on the keyboard.
    static void activate(QWidget *picture)
    {
        picture->setFocus(Qt::TabFocusReason);
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QCoreApplication::sendEvent(picture, &press);
        // The pictures show the panels, not where the keyboard was.
        picture->clearFocus();
        QCoreApplication::processEvents();
    }

    bool save(QWidget *window, const QString &name)
    {
        QCoreApplication::processEvents();
        // The window's pictures and flat surfaces fit a 256-colour palette:
        // the file stays small and looks the same.
        const QImage image = window->grab().toImage().convertToFormat(
            QImage::Format_Indexed8, Qt::ThresholdDither | Qt::AvoidDither);
        QImageWriter writer(QDir(m_folder).filePath(name), "png");
        writer.setQuality(0); // the strongest compression
        if (!writer.write(image)) {
            say(QStringLiteral("could not save ") + name + QStringLiteral(": ") +
                writer.errorString());
            return false;
        }
        say(QStringLiteral("saved ") + name);
        return true;
    }

    bool takeAll(QWidget *window)
    {
        if (m_folder.isEmpty() || m_scanFolder.isEmpty()) {
            say(QStringLiteral(
                "TORVAKINE_SCREENSHOT_DIR and TORVAKINE_SCREENSHOT_SCAN are needed"));
            return false;
        }
        auto *scanPicture = control<QWidget>(window, "Image1");
        auto *updatesPicture = control<QWidget>(window, "Image4");
        auto *drives = control<QComboBox>(window, "Drive1");
        auto *registry = control<QCheckBox>(window, "Check1");
        auto *scan = control<QPushButton>(window, "Command1");
        auto *remove = control<QPushButton>(window, "Command6");
        auto *quarantinePicture = control<QWidget>(window, "Image11");
        if (!scanPicture || !updatesPicture || !drives || !registry || !scan || !remove ||
            !quarantinePicture)
            return false;
        if (!save(window, QStringLiteral("main-window.png")))
            return false;

        activate(scanPicture);
        // A drive entry as the window lists one: the path, then the label.
        const QString entry = QDir::toNativeSeparators(m_scanFolder) + QStringLiteral(" [demo]");
        drives->addItem(entry, entry);
        drives->setCurrentIndex(drives->count() - 1);
        registry->setChecked(false);
        scan->click(); // returns when the scan has ended
        if (!save(window, QStringLiteral("scan-results.png")))
            return false;

        // The removal asks first and tells afterwards: each box is answered
        // with its accepting button (Remove, then OK).
        QTimer answer;
        QObject::connect(&answer, &QTimer::timeout, [] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box)
                return;
            for (QAbstractButton *button : box->buttons()) {
                if (box->buttonRole(button) == QMessageBox::AcceptRole) {
                    button->click();
                    return;
                }
            }
        });
        answer.start(50);
        remove->click(); // returns when the removal's message is answered
        answer.stop();
        activate(quarantinePicture);
        if (!save(window, QStringLiteral("quarantine.png")))
            return false;

        activate(updatesPicture);
        return save(window, QStringLiteral("updates-panel.png"));
    }

    const QString m_folder;
    const QString m_scanFolder;
    QTimer m_timer;
};

} // namespace

class ScreenshotsPlugin : public QGenericPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QGenericPluginFactoryInterface_iid FILE "screenshots.json")
public:
    QObject *create(const QString &key, const QString &) override
    {
        return key.compare(QLatin1String("torvakinescreenshots"), Qt::CaseInsensitive) == 0
                   ? new Screenshots
                   : nullptr;
    }
};

#include "ScreenshotsPlugin.moc"
