// A Qt input plugin for tests that start one of our windowed programs as a
// process of its own: loaded with QT_QPA_GENERIC_PLUGINS=torvakineboxanswer
// (and QT_PLUGIN_PATH naming the folder above generic/), it waits for the
// program's first message box, writes "box: " followed by its title, "|" and
// its text on standard output, and presses its first button.  The test can
// then see what the program said and that it ended after the answer.
#include <QApplication>
#include <QGenericPlugin>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <cstdio>

namespace {

class BoxAnswer : public QObject
{
public:
    BoxAnswer()
    {
        m_timer.setInterval(20);
        connect(&m_timer, &QTimer::timeout, this, &BoxAnswer::look);
        m_timer.start();
    }

private:
    void look()
    {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box || box->buttons().isEmpty())
            return;
        m_timer.stop();
        const QByteArray line =
            "box: " + (box->windowTitle() + QLatin1Char('|') + box->text()).toUtf8() + '\n';
        std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
        std::fflush(stdout);
        box->buttons().constFirst()->click();
    }

    QTimer m_timer;
};

} // namespace

class BoxAnswerPlugin : public QGenericPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QGenericPluginFactoryInterface_iid FILE "boxanswer.json")
public:
    QObject *create(const QString &key, const QString &) override
    {
        return key.compare(QLatin1String("torvakineboxanswer"), Qt::CaseInsensitive) == 0
                   ? new BoxAnswer
                   : nullptr;
    }
};

#include "BoxAnswerPlugin.moc"
