// What the main window's controls tell assistive technology: a name and a
// description for each, in the current language.  Fixed texts (panel
// captions, database names, the languages' own names) stay as they are.
#include "app/Form1.h"
#include "app/ImageControl.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeView>

#include <utility>

namespace {
void describe(QWidget *w, const QString &name, const QString &description)
{
    w->setAccessibleName(name);
    w->setAccessibleDescription(description);
}
} // namespace

void Form1::nameControls()
{
    // Names that stay the same in every language, for tools that find the
    // controls from outside: accessibility inspectors, and the plugin that
    // takes the screenshots of the documentation.
    const std::pair<QWidget *, const char *> named[] = {
        {Image1, "Image1"},      {Image4, "Image4"},         {Image3, "Image3"},
        {Drive1, "Drive1"},      {Check1, "Check1"},         {Command1, "Command1"},
        {Command2, "Command2"},  {Command6, "Command6"},     {ListView1, "ListView1"},
        {Text6, "Text6"},        {OpenReport, "OpenReport"}, {Command7, "Command7"},
        {Frame1, "Frame1"},      {Frame2, "Frame2"},         {Image11, "Image11"},
        {Frame4, "Frame4"},      {Command9, "Command9"},     {Command10, "Command10"},
        {ListView2, "ListView2"}};
    for (const auto &[widget, name] : named)
        widget->setObjectName(QLatin1String(name));
}

void Form1::describeControls()
{
    for (QPushButton *flag : Command8)
        flag->setAccessibleDescription(Lingua(LanguageButtonText));
    describe(lblMessages, Lingua(33), lblMessages->text());
    describe(Image1, Lingua(ScanPanelText), Lingua(PanelButtonText));
    describe(Image4, Lingua(UpdatesPanelText), Lingua(PanelButtonText));
    describe(Image3, Lingua(3), Lingua(ExitDescriptionText));
    for (QLabel *name : {Label1, Label5, Label10})
        describe(name, name->text(), Lingua(DatabaseStatusText));
    for (QLabel *ok : {Label2, Label6, Label8})
        describe(ok, ok->text(), Lingua(DatabaseLoadedText));
    for (QLabel *err : {Label4, Label7, Label9})
        describe(err, err->text(), Lingua(DatabaseNotLoadedText));

    describe(Frame1, Frame1->title(), Lingua(ScanPanelText));
    describe(Command1, Lingua(1), Lingua(ScanDescriptionText));
    describe(Command2, Lingua(2), Lingua(StopDescriptionText));
    describe(Command6, Lingua(12), Lingua(RemoveDescriptionText));
    describe(Check1, Lingua(4), Lingua(RegistryDescriptionText));
    describe(Label3, Lingua(26), currentDriveEntry());
    describe(Drive1, Lingua(26), currentDriveEntry());
    describe(ListView1, Lingua(ResultListText), Lingua(ResultListDescriptionText));
    describe(ProgressBar1, Lingua(ScanProgressText), Lingua(6));
    describe(Text6, Lingua(SummaryText),
             Text6->text().isEmpty() ? Lingua(SummaryText) : Text6->text());
    describe(OpenReport, Lingua(OpenReportText), Lingua(ReportDescriptionText));

    describe(Frame2, Frame2->title(), Lingua(UpdatesPanelText));
    describe(Command7, Lingua(18), Lingua(UpdateDescriptionText));
    describe(Text1, Text1->text(), Lingua(19));
    describe(UpdateStatus, Lingua(UpdateStatusText), Lingua(UpdateStatusText));
    describe(LstDownload, Lingua(DownloadListText), Lingua(DownloadListText));
    describe(Frame3, Frame3->title(), Lingua(ServerMessageText));
    describe(Text2, Lingua(ServerMessageText), Lingua(ServerMessageText));

    describe(Image11, Lingua(QuarantinePanelText), Lingua(PanelButtonText));
    describe(Frame4, Frame4->title(), Lingua(QuarantinePanelText));
    describe(Command9, Lingua(QuarantineRestoreText), Lingua(QuarantineRestoreText));
    describe(Command10, Lingua(QuarantineDeleteText), Lingua(QuarantineDeleteText));
    describe(ListView2, Lingua(QuarantinePanelText), Lingua(QuarantinePanelText));
    describe(Label11, Label11->text(), Lingua(QuarantineSpaceText));
    describe(Text7, Lingua(QuarantinePanelText),
             Text7->text().isEmpty() ? Lingua(QuarantinePanelText) : Text7->text());
}
