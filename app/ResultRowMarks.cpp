#include "app/ResultRowMarks.h"

#include "language/LanguageTexts.h"
#include "scanner/ResultListModel.h"

#include <QApplication>
#include <QStyle>

ResultRowMarks::ResultRowMarks(const LanguageTexts &texts, QObject *parent)
    : QIdentityProxyModel(parent), m_texts(texts),
      m_warning(QApplication::style()->standardIcon(QStyle::SP_MessageBoxWarning))
{
}

QVariant ResultRowMarks::data(const QModelIndex &index, int role) const
{
    const auto *list = qobject_cast<const ResultListModel *>(sourceModel());
    if (!list || !index.isValid() || index.row() >= list->count())
        return QIdentityProxyModel::data(index, role);
    const ResultListModel::Row &row = list->row(index.row() + 1);
    if (!row.notRemoved)
        return QIdentityProxyModel::data(index, role);
    switch (role) {
    case Qt::DisplayRole:
        if (index.column() == 0)
            return row.name + QStringLiteral(" (") + m_texts.Lingua(NotRemovedText) +
                   QLatin1Char(')');
        break;
    case Qt::DecorationRole:
        if (index.column() == 0)
            return m_warning;
        break;
    case Qt::ToolTipRole:
        return m_texts.Lingua(NotRemovedText) + QStringLiteral(": ") +
               removalOutcomeText(m_texts, *row.notRemoved) + QLatin1Char('\n') +
               QIdentityProxyModel::data(index, role).toString();
    default:
        break;
    }
    return QIdentityProxyModel::data(index, role);
}

void ResultRowMarks::languageChanged()
{
    if (rowCount() > 0)
        emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
}

QString removalOutcomeText(const LanguageTexts &texts, RemovalOutcome outcome)
{
    switch (outcome) {
    case RemovalOutcome::Removed:
        break;
    case RemovalOutcome::Changed:
        return texts.Lingua(ChangedReasonText);
    case RemovalOutcome::Refused:
        return texts.Lingua(RefusedReasonText);
    case RemovalOutcome::BrowserLocked:
        return texts.Lingua(CloseBrowserText);
    case RemovalOutcome::NotTried:
        return texts.Lingua(NotTriedReasonText);
    }
    return {};
}
