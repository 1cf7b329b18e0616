#pragma once

#include "scanner/RemovalOutcome.h"

#include <QIcon>
#include <QIdentityProxyModel>

class LanguageTexts;

// The result list as the Scan panel shows it: a row that a removal left is
// marked in the current language, after its name and with a warning
// picture, and its tooltip says why it was not removed.  Rows and columns are
// those of the result list.
class ResultRowMarks : public QIdentityProxyModel
{
    Q_OBJECT
public:
    ResultRowMarks(const LanguageTexts &texts, QObject *parent);

    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

    // Shows the marks again in the language the texts now hold.
    void languageChanged();

private:
    const LanguageTexts &m_texts;
    QIcon m_warning;
};

// Why a removal left a row, in the current language.
QString removalOutcomeText(const LanguageTexts &texts, RemovalOutcome outcome);
